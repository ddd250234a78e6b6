// Feeds arbitrary bytes to the sound data reader as the one CSV file of a
// directory, and draws every loaded set into a small view so that the grid
// lookups run on whatever sizes the header declared.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include <opencv2/core.hpp>

#include "camera/CamData.h"
#include "panorama/Picture.h"
#include "sound/SoundData.h"
#include "sound/SoundImage.h"

namespace {

const std::filesystem::path& dir() {
  static const std::filesystem::path d = [] {
    auto made = std::filesystem::temp_directory_path() / ("sound-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(made);
    return made;
  }();
  return d;
}

SoundData& sound() {
  // One thread for OpenCV's loops: the tiny views gain nothing from its
  // pool, whose hand-overs would dominate every run.
  static SoundData data = (cv::setNumThreads(1), SoundData());
  return data;
}

}  // namespace

// Grids the reader accepts may hold up to 100 million cells; filling such a
// grid takes seconds (a row of a million cells alone costs milliseconds
// under the sanitizers) and teaches the fuzzer nothing about the parsing, so
// inputs that declare more than this many cells are passed over.
constexpr double kMaxFuzzCells = 1 << 14;

static bool declaresHugeGrid(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), std::min<size_t>(size, 256));
  const std::string first = text.substr(0, text.find('\n'));
  const std::size_t x = first.find('X');
  if (x == std::string::npos) return false;
  const double cols = std::atof(first.substr(0, x).c_str());
  const double rows = std::atof(first.substr(x + 1).c_str());
  return !(std::fabs(cols * rows) <= kMaxFuzzCells);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (declaresHugeGrid(data, size)) {
    return 0;
  }
  {
    std::ofstream out(dir() / "set.csv", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  SoundData& s = sound();
  const int result = s.load(dir().string().c_str());
  if (result == 0) {
    if (!s.loaded) __builtin_trap();
    CamData camera;
    camera.width = 24;
    camera.height = 16;
    camera.updateSensorWidth();
    camera.altitude = size > 0 ? data[0] * 0.0247 : 1.5;
    camera.azimuth = size > 1 ? data[1] * 0.05 : 0.0;
    for (int i = -1; i <= s.count; ++i) {
      auto view = Picture::forCamera(camera);
      computeSoundImage(view.get(), s, i);
      (void)s.getName(i);
    }
  } else if (s.loaded) {
    __builtin_trap();
  }
  return 0;
}
