#pragma once

#include <atomic>
#include <string>
#include <utility>
#include <vector>

// The sound data sets of one directory: one CSV file per set, each a grid of
// values over the sphere of directions, plus the false-colour map.
class SoundData {
 public:
  static constexpr int kTableSize = 65536;

  SoundData();

  // Replaces the loaded sets by those of `directory`: 0 on success, the
  // listing's error code (> 0), -1 for a file that cannot be read, -2 for a
  // first line without "X" (or without a positive size).
  int load(const char* directory);
  int readFile(const std::string& directory, const std::string& entry, int index);
  void clear();
  // The display name of set `index`, or "" outside 0 ... count-1.
  std::string getName(int index) const;

  int count = 0;
  std::vector<std::vector<float>> grids;    // rows x cols, row-major
  std::vector<std::string> names;
  std::vector<std::pair<int, int>> sizes;   // (cols, rows)
  float digitWeights[6];
  std::vector<unsigned char> red;
  std::vector<unsigned char> green;
  std::vector<unsigned char> blue;
  std::atomic<bool> loaded{false};
};
