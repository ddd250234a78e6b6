#include "sound/SoundData.h"

SoundData::SoundData() : digitWeights{0.1f, 0.01f, 0.001f, 0.0001f, 0.00001f, 0.000001f} {}
int SoundData::load(const char*) { return -1; }
int SoundData::readFile(const std::string&, const std::string&, int) { return -1; }
void SoundData::clear() {}
std::string SoundData::getName(int) const { return ""; }
