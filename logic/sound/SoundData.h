#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "sound/SoundPeak.h"

// The sound data sets of one directory: one CSV file per set, each a grid of
// values over the sphere of directions, plus the false-colour map.
//
// A CSV file holds "<cols>X<rows>" on its first line, the set's display name
// on its second and then one line per grid row, from the top (straight up)
// down, each with up to cols values separated by ",". Lines end with LF or
// CR LF. A value is one digit, a "." and its fraction ("0.1234"; blanks
// around it are allowed): 0 ... 9.9999, of which the first four fraction
// digits are read (1.0 and more show the colour map's last entry). Anything
// else where a value belongs (a sign, two integer digits, an exponent,
// "nan", a decimal comma, an empty field between two separators) refuses the
// file: it would be read as another value or shift the later ones.
// Tolerated, as nothing is misplaced: fewer values in a line or fewer lines
// than declared (those cells hold 0), one separator at the end of a line,
// values beyond the declared columns and lines beyond the declared rows (not
// read).
class SoundData {
 public:
  static constexpr int kTableSize = 65536;
  // Largest grid (cols x rows cells) a file may declare; larger headers are
  // refused so that a damaged or hostile file cannot exhaust memory.
  static constexpr double kMaxCells = 100000000.0;
  // Most cells one directory may fill, all its sets together (200 MB of
  // values), and most CSV files it may hold.
  static constexpr std::size_t kMaxDirectoryCells = 50000000;
  static constexpr int kMaxFiles = 1000;

  // Results of load and readFile besides 0 and the listing's error code.
  static constexpr int kUnreadable = -1;   // not a regular file, or cannot be read
  static constexpr int kBadHeader = -2;    // first line without a usable size
  static constexpr int kBadValue = -3;     // a data value outside the format
  static constexpr int kTooMuch = -4;      // more files or cells than allowed

  SoundData();

  // Replaces the loaded sets by those of `directory`: every entry whose name
  // contains ".csv" or ".CSV" (at most fileLimit), numbered in sorted name
  // order. Returns 0 on
  // success, the listing's error code (> 0) or one of the codes above. The
  // earlier sets are released first; after a failure nothing is loaded and
  // `error` says why.
  int load(const char* directory);
  // Reads `directory`/`entry` into set `index` (0 ... grids.size() - 1).
  // Returns 0, kUnreadable (also for an index out of range), kBadHeader,
  // kBadValue or kTooMuch (the directory's cells would exceed cellLimit);
  // `error` says why. The grid holds the rows up to the
  // last data line read, never the declared size up front.
  int readFile(const std::string& directory, const std::string& entry, int index);
  void clear();
  // The display name of set `index`, or "" outside 0 ... count-1.
  std::string getName(int index) const;
  // The value of set `index` at (row, col); 0 for a cell the file does not
  // fill and for anything outside the sets and their declared sizes.
  float cell(int index, int row, int col) const;

  int count = 0;
  // Per set: the rows read so far, row-major with the declared columns; at
  // most cols x rows values (fewer when the file has fewer lines).
  std::vector<std::vector<float>> grids;
  std::vector<std::string> names;
  std::vector<std::pair<int, int>> sizes;   // (cols, rows) as declared
  // Per set: its loudest direction, found by load (sets added otherwise have
  // none: findSoundPeak finds it).
  std::vector<SoundPeak> peaks;
  float digitWeights[6];
  std::vector<unsigned char> red;
  std::vector<unsigned char> green;
  std::vector<unsigned char> blue;
  std::atomic<bool> loaded{false};
  // The limits load and readFile apply (the constants; tests lower them).
  std::size_t cellLimit = kMaxDirectoryCells;
  int fileLimit = kMaxFiles;
  // Why the last load or readFile failed, in German for the user (the
  // directory or file, the line and what is wrong); empty after success.
  std::string error;

 private:
  std::size_t cellsHeld_ = 0;  // values in all grids together
};
