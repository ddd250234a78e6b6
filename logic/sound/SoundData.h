#pragma once

#include <atomic>
#include <string>
#include <utility>
#include <vector>

// The sound data sets of one directory: one CSV file per set, each a grid of
// values over the sphere of directions, plus the false-colour map.
//
// A CSV file holds "<cols>X<rows>" on its first line, the set's display name
// on its second and then one line per grid row, from the top (straight up)
// down, each with cols values like 0.1234 separated by ",". Lines end with
// LF or CR LF.
class SoundData {
 public:
  static constexpr int kTableSize = 65536;
  // Largest grid (cols x rows cells) a file may declare; larger headers are
  // refused so that a damaged or hostile file cannot exhaust memory.
  static constexpr double kMaxCells = 100000000.0;

  SoundData();

  // Replaces the loaded sets by those of `directory`: every entry whose name
  // contains ".csv" or ".CSV", numbered in sorted name order. Returns 0 on
  // success, the listing's error code (> 0), -1 for a file that cannot be
  // read, -2 for a first line without "X" (or without a positive size). The
  // earlier sets are released first; after a failure nothing is loaded.
  int load(const char* directory);
  // Reads `directory`/`entry` into set `index` (0 ... grids.size() - 1).
  // Returns 0, -1 (cannot be opened as a file, or index out of range) or -2
  // (bad first line). Cells the file does not fill hold 0; values beyond the
  // declared columns and lines beyond the declared rows are ignored.
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
