#include "sound/SoundData.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "base/RegularFile.h"
#include "base/TextNumbers.h"
#include "sound/ColorMap.h"
#include "sound/SoundLine.h"
#include "sound/SoundPeak.h"

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

std::string quotedText(const std::string& text) {
  constexpr std::size_t kShown = 40;
  if (text.size() <= kShown) {
    return "„" + text + "“";
  }
  std::size_t end = kShown;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return "„" + text.substr(0, end) + "…“";
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

}  // namespace

SoundData::SoundData()
    : digitWeights{0.1f, 0.01f, 0.001f, 0.0001f, 0.00001f, 0.000001f},
      red(makeColorTable(kRedCentre)),
      green(makeColorTable(kGreenCentre)),
      blue(makeColorTable(kBlueCentre)) {}

int SoundData::load(const char* directory) {
  clear();
  if (directory == nullptr || *directory == '\0') {
    error = "Es wurde kein Verzeichnis mit Tondaten angegeben.";
    return ENOENT;
  }
  const std::string where = "Das Verzeichnis " + quotedText(directory);

  std::vector<std::string> entries;
  std::error_code listing;
  fs::directory_iterator it(fs::path(directory), listing);
  const fs::directory_iterator end;
  while (!listing && it != end) {
    std::string name = it->path().filename().string();
    if (isCsvName(name)) {
      if (static_cast<int>(entries.size()) >= fileLimit) {
        error = where + " enthält mehr als " + std::to_string(fileLimit) + " CSV-Dateien.";
        return kTooMuch;
      }
      entries.push_back(std::move(name));
    }
    it.increment(listing);
  }
  if (listing) {
    error = listing == std::errc::no_such_file_or_directory ? where + " existiert nicht."
            : listing == std::errc::not_a_directory         ? quotedText(directory) + " ist kein Verzeichnis."
                                                            : where + " kann nicht gelesen werden.";
    return listingError(listing);
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
      const std::string reason = std::move(error);
      clear();
      error = reason;
      return result;
    }
  }
  count = n;
  // Each set's loudest direction, found once here rather than for every view.
  peaks.resize(n);
  for (int i = 0; i < n; ++i) {
    findSoundPeak(*this, i, &peaks[i]);
  }
  loaded = true;
  return 0;
}

int SoundData::readFile(const std::string& directory, const std::string& entry, int index) {
  if (index < 0 || index >= static_cast<int>(grids.size()) ||
      index >= static_cast<int>(names.size()) || index >= static_cast<int>(sizes.size())) {
    error = "Kein Platz für den Datensatz " + std::to_string(index) + ".";
    return kUnreadable;
  }
  error.clear();
  const std::string path = joinPath(directory, entry);
  const std::string where = "Datei " + quotedText(path);
  // Only regular files (also through links) are read: a directory cannot be
  // read, and a pipe or device could block or never end.
  const FileProblem problem = probeRegularFile(path.c_str());
  std::ifstream in;
  if (problem == FileProblem::kNone) {
    in.open(path, std::ios::binary);
  }
  if (problem != FileProblem::kNone || !in) {
    error = describeFileProblem(problem != FileProblem::kNone ? problem : FileProblem::kUnreadable, path);
    return kUnreadable;
  }

  std::vector<float>& grid = grids[index];
  cellsHeld_ -= std::min(cellsHeld_, grid.size());
  grid.clear();
  grid.shrink_to_fit();

  std::string line;
  readLine(in, &line);
  // Spreadsheets often start a UTF-8 text file with a byte order mark.
  if (line.rfind("\xEF\xBB\xBF", 0) == 0) {
    line.erase(0, 3);
  }
  const std::size_t x = line.find('X');
  int cols = 0;
  int rows = 0;
  if (x == std::string::npos || !parseSize(line.substr(0, x), &cols) ||
      !parseSize(line.substr(x + 1), &rows) || static_cast<double>(cols) * rows > kMaxCells) {
    error = where + ", Zeile 1: " + quotedText(line) +
            " ist keine Rastergröße SPALTENXZEILEN (zum Beispiel 360X180, höchstens " +
            std::to_string(static_cast<long long>(kMaxCells)) + " Zellen).";
    return kBadHeader;
  }
  sizes[index] = {cols, rows};

  names[index].clear();
  if (readLine(in, &line)) {
    names[index] = line;
  }

  // The grid grows as rows arrive: a header alone allocates nothing. A
  // well-formed value takes at least three bytes, which bounds the first
  // reservation by the file's size.
  std::error_code sizeError;
  const std::uintmax_t bytes = fs::file_size(fs::path(path), sizeError);
  if (!sizeError) {
    const std::uintmax_t estimate = (bytes / 3 / cols + 1) * static_cast<std::uintmax_t>(cols);
    grid.reserve(static_cast<std::size_t>(std::min<std::uintmax_t>(
        {estimate, static_cast<std::uintmax_t>(cols) * rows,
         static_cast<std::uintmax_t>(cellLimit - std::min(cellLimit, cellsHeld_))})));
  }
  for (int r = 0; r < rows && readLine(in, &line); ++r) {
    const int lineNumber = r + 3;
    if (cellsHeld_ + cols > cellLimit) {
      error = where + ", Zeile " + std::to_string(lineNumber) + ": die Tondaten des Verzeichnisses " +
              "haben mehr als " + std::to_string(cellLimit) + " Rasterzellen.";
      return kTooMuch;
    }
    const std::size_t start = grid.size();
    grid.resize(start + cols, 0.0f);
    int badColumn = 0;
    std::string_view badText;
    if (scanSoundLine(line, digitWeights, grid.data() + start, cols, &badColumn, &badText) < 0) {
      grid.resize(start);
      error = where + ", Zeile " + std::to_string(lineNumber) + ", Wert " +
              std::to_string(badColumn + 1) + ": " + quotedText(std::string(badText)) +
              " ist kein Tonwert der Form 0.1234 (eine Ziffer, Dezimalpunkt, Nachkommastellen).";
      return kBadValue;
    }
    cellsHeld_ += cols;
  }
  // The estimate may exceed what a short file filled.
  if (grid.capacity() > grid.size()) {
    grid.shrink_to_fit();
  }
  return 0;
}

void SoundData::clear() {
  loaded = false;
  count = 0;
  grids.clear();
  names.clear();
  sizes.clear();
  peaks.clear();
  cellsHeld_ = 0;
  error.clear();
}

std::string SoundData::getName(int index) const {
  if (index < 0 || index >= count || index >= static_cast<int>(names.size())) {
    return "";
  }
  return names[index];
}

float SoundData::cell(int index, int row, int col) const {
  if (index < 0 || index >= static_cast<int>(grids.size()) ||
      index >= static_cast<int>(sizes.size())) {
    return 0.0f;
  }
  const auto [cols, rows] = sizes[index];
  if (row < 0 || col < 0 || row >= rows || col >= cols) {
    return 0.0f;
  }
  const std::size_t at = static_cast<std::size_t>(row) * cols + col;
  return at < grids[index].size() ? grids[index][at] : 0.0f;
}
