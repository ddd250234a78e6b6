#include "sound/SoundData.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "base/TextNumbers.h"
#include "sound/ColorMap.h"

static_assert(SoundData::kTableSize == kColorTableSize);

namespace {

namespace fs = std::filesystem;

bool isCsvName(const std::string& name) {
  return name.find(".csv") != std::string::npos || name.find(".CSV") != std::string::npos;
}

// The code of a failed directory listing; always positive.
int listingError(const std::error_code& error) { return error.value() > 0 ? error.value() : 1; }

std::string joinPath(const std::string& directory, const std::string& entry) {
  constexpr char kSeparator = static_cast<char>(fs::path::preferred_separator);
  if (directory.empty() || directory.back() == kSeparator) {
    return directory + entry;
  }
  return directory + kSeparator + entry;
}

// Reads one line without its LF or CR LF end; false at the end of the file.
bool readLine(std::istream& in, std::string* line) {
  if (!std::getline(in, *line)) {
    return false;
  }
  if (!line->empty() && line->back() == '\r') {
    line->pop_back();
  }
  return true;
}

// Reads a grid size the way atof does (leading blanks, sign, fraction,
// exponent; no number gives 0), in the "C" locale whatever the program's
// locale is, and truncates it toward zero. False unless the size is at least
// 1 and at most kMaxCells.
bool parseSize(const std::string& text, int* size) {
  const double value = textToReal(text.c_str());
  if (!(value >= 1.0) || value > SoundData::kMaxCells) {
    return false;
  }
  *size = static_cast<int>(value);
  return true;
}

// Scans one data line into `row` (cols cells). A value ends at its ".": the
// character read last before it (commas are skipped) is the integer part and
// up to four digits after it the fraction. The scan goes on right after the
// "." so the fraction digits are passed over again; the next value's integer
// digit replaces them. Digits after the point stop at the first character
// that is not a digit; values beyond the last column are ignored.
void scanLine(const std::string& line, const float* weights, float* row, int cols) {
  float v = 0.0f;
  int k = 0;
  const std::size_t n = line.size();
  for (std::size_t c = 0; c < n && k < cols; ++c) {
    const char ch = line[c];
    if (ch == ',') {
      continue;
    }
    if (ch == '.') {
      for (std::size_t d = 0; d < 4; ++d) {
        const std::size_t at = c + 1 + d;
        if (at >= n || line[at] < '0' || line[at] > '9') {
          break;
        }
        const float digit = static_cast<float>(line[at] - '0');
        const float term = digit * weights[d];
        v = term + v;
      }
      row[k++] = v;
      v = 0.0f;
      continue;
    }
    v = static_cast<float>(ch - '0');
  }
}

}  // namespace

SoundData::SoundData()
    : digitWeights{0.1f, 0.01f, 0.001f, 0.0001f, 0.00001f, 0.000001f},
      red(makeColorTable(kRedCentre)),
      green(makeColorTable(kGreenCentre)),
      blue(makeColorTable(kBlueCentre)) {}

int SoundData::load(const char* directory) {
  clear();
  if (directory == nullptr || *directory == '\0') {
    return ENOENT;
  }

  std::vector<std::string> entries;
  std::error_code error;
  fs::directory_iterator it(fs::path(directory), error);
  const fs::directory_iterator end;
  while (!error && it != end) {
    std::string name = it->path().filename().string();
    if (isCsvName(name)) {
      entries.push_back(std::move(name));
    }
    it.increment(error);
  }
  if (error) {
    return listingError(error);
  }
  // The platform's listing order is arbitrary; sorting keeps the numbering of
  // the sets (the representation slider) the same everywhere.
  std::sort(entries.begin(), entries.end());

  const int n = static_cast<int>(entries.size());
  grids.resize(n);
  names.resize(n);
  sizes.resize(n);
  for (int i = 0; i < n; ++i) {
    const int result = readFile(directory, entries[i], i);
    if (result != 0) {
      // Sets read so far are released at once, so that no half-read data
      // can be shown.
      clear();
      return result;
    }
  }
  count = n;
  loaded = true;
  return 0;
}

int SoundData::readFile(const std::string& directory, const std::string& entry, int index) {
  if (index < 0 || index >= static_cast<int>(grids.size()) ||
      index >= static_cast<int>(names.size()) || index >= static_cast<int>(sizes.size())) {
    return -1;
  }
  const std::string path = joinPath(directory, entry);
  // Only regular files (also through links) are read: a directory cannot be
  // read, and a pipe or device could block or never end.
  std::error_code error;
  if (!fs::is_regular_file(fs::path(path), error)) {
    return -1;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return -1;
  }

  std::string line;
  readLine(in, &line);
  const std::size_t x = line.find('X');
  if (x == std::string::npos) {
    return -2;
  }
  int cols = 0;
  int rows = 0;
  if (!parseSize(line.substr(0, x), &cols) || !parseSize(line.substr(x + 1), &rows) ||
      static_cast<double>(cols) * rows > kMaxCells) {
    return -2;
  }
  sizes[index] = {cols, rows};
  grids[index].assign(static_cast<std::size_t>(cols) * rows, 0.0f);
  std::vector<float>& grid = grids[index];

  names[index].clear();
  if (readLine(in, &line)) {
    names[index] = line;
  }

  for (int r = 0; r < rows && readLine(in, &line); ++r) {
    scanLine(line, digitWeights, grid.data() + static_cast<std::size_t>(r) * cols, cols);
  }
  return 0;
}

void SoundData::clear() {
  loaded = false;
  count = 0;
  grids.clear();
  names.clear();
  sizes.clear();
}

std::string SoundData::getName(int index) const {
  if (index < 0 || index >= count || index >= static_cast<int>(names.size())) {
    return "";
  }
  return names[index];
}
