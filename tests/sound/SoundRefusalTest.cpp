#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>

#include "sound/SoundData.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

// Loads a fresh directory "sets" holding one file "set.csv" with `content`.
int loadOne(SoundData* data, const TempDir& dir, const std::string& content) {
  const fs::path sets = dir.path() / "sets";
  fs::remove_all(sets);
  fs::create_directory(sets);
  writeFile(sets / "set.csv", content);
  return data->load(sets.string().c_str());
}

std::uint32_t bitsOf(float value) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

}  // namespace

TEST(SoundRefusal, ValuesOutsideTheFormatRefuseTheFileNamingLineAndValue) {
  // Each of these was read as another value, or shifted the values after it
  // one column to the left: a loud source could be shown as a quiet one.
  struct Case {
    const char* line;
    const char* reason;
  };
  const Case cases[] = {
      {"10.5000,0.1000", "Wert 1: „10.5000“ ist kein Tonwert"},
      {"0.1000,-0.7500", "Wert 2: „-0.7500“ ist kein Tonwert"},
      {"nan,0.5000", "Wert 1: „nan“"},
      {"0.1000,inf", "Wert 2: „inf“"},
      {"0.1000,,0.2000", "Wert 2: „“"},
      {",0.1000", "Wert 1: „“"},
      {"0,5000;0,2500", "Wert 1: „0“"},  // decimal comma
      {"0.1000;0.2000", "Wert 1: „0.1000;0.2000“"},
      {"5e-1,0.1000", "Wert 1: „5e-1“"},
      {"0.1000,1", "Wert 2: „1“"},
      {"0.1000,.5", "Wert 2: „.5“"},
      {"0 .5000", "Wert 1: „0 .5000“"},
      {"0.5 000", "Wert 1: „0.5 000“"},
      {"00.5000", "Wert 1: „00.5000“"},
      {"+0.5000", "Wert 1: „+0.5000“"},
      {"0.12a4", "Wert 1: „0.12a4“"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SoundData data;
    const std::string content = "3X2\nname\n0.1000,0.2000,0.3000\n" + std::string(c.line) + "\n";
    EXPECT_EQ(loadOne(&data, dir, content), SoundData::kBadValue) << c.line;
    EXPECT_FALSE(data.loaded) << c.line;
    EXPECT_EQ(data.count, 0) << c.line;
    EXPECT_NE(data.error.find("set.csv“, Zeile 4"), std::string::npos) << c.line << ": " << data.error;
    EXPECT_NE(data.error.find(c.reason), std::string::npos) << c.line << ": " << data.error;
  }
  SoundData data;
  EXPECT_EQ(loadOne(&data, dir, "2X1\nname\n10.5000,0.1000\n"), SoundData::kBadValue);
  EXPECT_NE(data.error.find("Zeile 3, Wert 1: „10.5000“ ist kein Tonwert der Form 0.1234"),
            std::string::npos)
      << data.error;
}

TEST(SoundRefusal, WellFormedValuesKeepTheBitsTheyAlwaysHad) {
  // Single precision, digit by digit: d + f1 0.1 + f2 0.01 + f3 0.001 + f4 0.0001.
  struct Case {
    const char* text;
    std::uint32_t bits;
  };
  const Case cases[] = {
      {"0.0001", 0x38d1b717u}, {"0.1234", 0x3dfcb924u}, {"0.5000", 0x3f000000u},
      {"0.9999", 0x3f7ff972u}, {"9.9999", 0x411fff97u}, {"1.0000", 0x3f800000u},
      {"0.3", 0x3e99999au},    {"7.", 0x40e00000u},     {"0.12345", 0x3dfcb924u},
  };
  TempDir dir;
  std::string line;
  for (const Case& c : cases) line += std::string(line.empty() ? "" : ",") + c.text;
  SoundData data;
  ASSERT_EQ(loadOne(&data, dir, "9X1\nname\n" + line + "\n"), 0) << data.error;
  for (int k = 0; k < 9; ++k) {
    EXPECT_EQ(bitsOf(data.cell(0, 0, k)), cases[k].bits) << cases[k].text;
  }
}

TEST(SoundRefusal, DirectoriesBeyondTheFileOrCellLimitAreRefused) {
  TempDir dir;
  struct Case {
    const char* name;
    int files;
    std::string content;
    std::size_t cellLimit;
    int fileLimit;
    int result;
    const char* reason;
  };
  const std::string row = "0.1000,0.2000,0.3000,0.4000\n";
  const Case cases[] = {
      {"files at the limit", 3, "4X3\nn\n" + row, 12, 3, 0, ""},
      {"one file more", 4, "4X3\nn\n" + row, 100, 3, SoundData::kTooMuch,
       "enthält mehr als 3 CSV-Dateien."},
      {"cells at the limit", 3, "4X3\nn\n" + row, 12, 10, 0, ""},
      {"one row more", 2, "4X3\nn\n" + row + row, 7, 10, SoundData::kTooMuch,
       "a.csv“, Zeile 4: die Tondaten des Verzeichnisses haben mehr als 7 Rasterzellen."},
      {"declared cells do not count", 3, "4000X3000\nn\n" + row, 12000, 10, 0, ""},
      {"blank lines fill rows", 1, "4X3\nn\n\n\n" + row, 11, 10, SoundData::kTooMuch,
       "Zeile 5"},
  };
  for (const Case& c : cases) {
    const fs::path sets = dir.path() / "sets";
    fs::remove_all(sets);
    fs::create_directory(sets);
    for (int i = 0; i < c.files; ++i) {
      writeFile(sets / (std::string(1, static_cast<char>('a' + i)) + ".csv"), c.content);
    }
    SoundData data;
    data.cellLimit = c.cellLimit;
    data.fileLimit = c.fileLimit;
    EXPECT_EQ(data.load(sets.string().c_str()), c.result) << c.name;
    EXPECT_EQ(data.loaded, c.result == 0) << c.name;
    EXPECT_NE(data.error.find(c.reason), std::string::npos) << c.name << ": " << data.error;
  }
}

TEST(SoundRefusal, GridsHoldOnlyTheRowsTheFileFills) {
  TempDir dir;
  const fs::path sets = dir.path() / "sets";
  fs::create_directory(sets);
  for (int i = 0; i < 20; ++i) {
    writeFile(sets / ("set" + std::to_string(i) + ".csv"), "3600X1800\nn\n0.5000,0.2500\n");
  }
  SoundData data;
  ASSERT_EQ(data.load(sets.string().c_str()), 0) << data.error;
  ASSERT_EQ(data.count, 20);
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(data.grids[i].size(), 3600u);
    EXPECT_EQ(data.cell(i, 0, 1), 0.25f);
    EXPECT_EQ(data.cell(i, 1799, 3599), 0.0f);
    EXPECT_EQ(data.cell(i, 1800, 0), 0.0f);
    EXPECT_EQ(data.cell(i, -1, 0), 0.0f);
  }
  EXPECT_EQ(data.cell(20, 0, 0), 0.0f);
}

TEST(SoundRefusal, TheRealFileLimitRefusesATooFullDirectory) {
  TempDir dir;
  const fs::path sets = dir.path() / "sets";
  fs::create_directory(sets);
  for (int i = 0; i <= SoundData::kMaxFiles; ++i) {
    writeFile(sets / ("s" + std::to_string(i) + ".csv"), "1X1\nn\n0.1000\n");
  }
  SoundData data;
  EXPECT_EQ(data.load(sets.string().c_str()), SoundData::kTooMuch);
  EXPECT_NE(data.error.find("enthält mehr als 1000 CSV-Dateien"), std::string::npos) << data.error;
  fs::remove(sets / "s0.csv");
  EXPECT_EQ(data.load(sets.string().c_str()), 0) << data.error;
  EXPECT_EQ(data.count, SoundData::kMaxFiles);
}

TEST(SoundRefusal, PipesAndDirectoriesAreNeverOpenedAndTheReasonNamesThem) {
  TempDir dir;
  struct Case {
    const char* name;
    void (*make)(const fs::path& sets);
    int result;
    const char* reason;
  };
  const Case cases[] = {
      {"pipe", [](const fs::path& sets) { ASSERT_EQ(::mkfifo((sets / "p.csv").c_str(), 0600), 0); },
       SoundData::kUnreadable, "p.csv“ ist keine gewöhnliche Datei"},
      {"directory", [](const fs::path& sets) { fs::create_directory(sets / "d.csv"); },
       SoundData::kUnreadable, "d.csv“ ist keine gewöhnliche Datei"},
      {"bad header", [](const fs::path& sets) { writeFile(sets / "h.csv", "3x3\nn\n"); },
       SoundData::kBadHeader, "h.csv“, Zeile 1: „3x3“ ist keine Rastergröße"},
  };
  for (const Case& c : cases) {
    const fs::path sets = dir.path() / "sets";
    fs::remove_all(sets);
    fs::create_directory(sets);
    c.make(sets);
    auto loading = std::async(std::launch::async, [&sets] {
      SoundData data;
      const int result = data.load(sets.string().c_str());
      return std::make_pair(result, data.error);
    });
    ASSERT_EQ(loading.wait_for(std::chrono::seconds(10)), std::future_status::ready) << c.name;
    const auto [result, error] = loading.get();
    EXPECT_EQ(result, c.result) << c.name;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
  }
  SoundData data;
  EXPECT_GT(data.load((dir.path() / "missing").string().c_str()), 0);
  EXPECT_NE(data.error.find("missing“ existiert nicht."), std::string::npos) << data.error;
}
