#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sound/SoundData.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

// A well-formed set of 2 x 1 cells.
std::string smallSet(const std::string& name) { return "2X1\n" + name + "\n0.1000,0.2000\n"; }

// Loads a directory holding one file "set.csv" with `content`.
int loadOne(SoundData* data, const TempDir& dir, const std::string& content) {
  const fs::path sets = dir.path() / "sets";
  fs::remove_all(sets);
  fs::create_directory(sets);
  writeFile(sets / "set.csv", content);
  return data->load(sets.string().c_str());
}

}  // namespace

TEST(SoundData, StartsEmpty) {
  const SoundData data;
  EXPECT_EQ(data.count, 0);
  EXPECT_FALSE(data.loaded);
  EXPECT_EQ(data.getName(0), "");
}

TEST(SoundData, DirectoryWithoutCsvFilesLoadsNoSets) {
  TempDir dir;
  writeFile(dir.path() / "notes.txt", smallSet("x"));
  SoundData data;
  EXPECT_EQ(data.load(dir.path().string().c_str()), 0);
  EXPECT_TRUE(data.loaded);
  EXPECT_EQ(data.count, 0);
}

TEST(SoundData, TakesEntriesContainingLowerOrUpperCaseCsvInSortedOrder) {
  TempDir dir;
  writeFile(dir.path() / "data.CSV", smallSet("upper"));
  writeFile(dir.path() / "a.csv.bak", smallSet("backup"));
  writeFile(dir.path() / "data.Csv", smallSet("mixed"));
  writeFile(dir.path() / "data.txt", smallSet("text"));
  writeFile(dir.path() / "B.csv", smallSet("capital"));
  SoundData data;
  ASSERT_EQ(data.load(dir.path().string().c_str()), 0);
  ASSERT_EQ(data.count, 3);
  EXPECT_EQ(data.getName(0), "capital");
  EXPECT_EQ(data.getName(1), "backup");
  EXPECT_EQ(data.getName(2), "upper");
  EXPECT_EQ(data.getName(-1), "");
  EXPECT_EQ(data.getName(3), "");
}

TEST(SoundData, DirectoryPathMayEndWithSeparator) {
  TempDir dir;
  writeFile(dir.path() / "set.csv", smallSet("slash"));
  SoundData data;
  ASSERT_EQ(data.load((dir.path().string() + "/").c_str()), 0);
  EXPECT_EQ(data.getName(0), "slash");
}

TEST(SoundData, UnlistableDirectoryGivesPositiveCode) {
  TempDir dir;
  writeFile(dir.path() / "plain.csv", smallSet("x"));
  const std::string missing = (dir.path() / "missing").string();
  const std::string file = (dir.path() / "plain.csv").string();
  SoundData data;
  for (const char* path : {missing.c_str(), file.c_str(), "", static_cast<const char*>(nullptr)}) {
    EXPECT_GT(data.load(path), 0) << (path ? path : "null");
    EXPECT_FALSE(data.loaded);
    EXPECT_EQ(data.count, 0);
  }
}

TEST(SoundData, SubdirectoryNamedLikeCsvFailsAsUnreadable) {
  TempDir dir;
  fs::create_directory(dir.path() / "x.csv");
  SoundData data;
  EXPECT_EQ(data.load(dir.path().string().c_str()), -1);
  EXPECT_FALSE(data.loaded);
  EXPECT_EQ(data.count, 0);
}

TEST(SoundData, FirstFailingFileEndsTheLoad) {
  TempDir dir;
  writeFile(dir.path() / "a.csv", "3x3\nlower\n");
  fs::create_directory(dir.path() / "b.csv");
  SoundData data;
  EXPECT_EQ(data.load(dir.path().string().c_str()), -2);
}

TEST(SoundData, HeaderGivesColumnsThenRowsOrIsRefused) {
  struct Row {
    const char* header;
    int result;
    int cols;
    int rows;
  };
  const Row rows[] = {
      {"360X180", 0, 360, 180},
      {"90.7X45", 0, 90, 45},
      {" 4X 2", 0, 4, 2},
      {"1e1X2.9", 0, 10, 2},
      {"4X2X7", 0, 4, 2},
      {"360x180", -2, 0, 0},
      {"", -2, 0, 0},  // also an empty file
      {"X", -2, 0, 0},
      {"0X5", -2, 0, 0},
      {"5X0.5", -2, 0, 0},
      {"-3X4", -2, 0, 0},
      {"nanX4", -2, 0, 0},
      {"4XInf", -2, 0, 0},
      {"200000X200000", -2, 0, 0},
      {"1e12X1", -2, 0, 0},
  };
  TempDir dir;
  for (const Row& row : rows) {
    SoundData data;
    EXPECT_EQ(loadOne(&data, dir, std::string(row.header) + "\nname\n"), row.result)
        << row.header;
    if (row.result == 0) {
      ASSERT_EQ(data.count, 1);
      EXPECT_EQ(data.sizes[0], std::make_pair(row.cols, row.rows)) << row.header;
      // A header alone allocates nothing; every declared cell reads 0.
      EXPECT_TRUE(data.grids[0].empty()) << row.header;
      EXPECT_EQ(data.cell(0, row.rows - 1, row.cols - 1), 0.0f) << row.header;
    } else {
      EXPECT_FALSE(data.loaded) << row.header;
    }
  }
}

TEST(SoundData, DataLinesFillTheGridRowByRow) {
  struct Row {
    const char* label;
    std::string content;
    std::vector<float> grid;
  };
  const Row rows[] = {
      {"plain", "2X2\nn\n0.1234,0.5000\n0.0001,0.9999", {0.1234f, 0.5f, 0.0001f, 0.9999f}},
      {"trailing line break", "2X2\nn\n0.1234,0.5000\n0.0001,0.9999\n",
       {0.1234f, 0.5f, 0.0001f, 0.9999f}},
      {"CR LF", "2X2\r\nn\r\n0.1234,0.5000\r\n0.0001,0.9999\r\n", {0.1234f, 0.5f, 0.0001f, 0.9999f}},
      {"UTF-8 byte order mark", "\xEF\xBB\xBF" "2X1\r\nn\r\n0.1234,0.5000\r\n", {0.1234f, 0.5f}},
      {"fewer digits", "3X1\nn\n0.5,0.25,0.125\n", {0.5f, 0.25f, 0.125f}},
      {"more than four digits", "2X1\nn\n0.12345,0.5000\n", {0.1234f, 0.5f}},
      {"values beyond the columns", "2X1\nn\n0.1000,0.2000,0.3000\n", {0.1f, 0.2f}},
      {"lines beyond the rows", "1X1\nn\n0.1000\n0.2000\n", {0.1f}},
      {"cells the file leaves out", "2X2\nn\n0.1000\n", {0.1f, 0.0f, 0.0f, 0.0f}},
      {"no data lines", "2X1\nn", {0.0f, 0.0f}},
      {"empty line", "2X2\nn\n\n0.3000,0.4000\n", {0.0f, 0.0f, 0.3f, 0.4f}},
      {"blanks around values", "3X1\nn\n 0.1000 ,\t0.2000\t, 0.3000 \n", {0.1f, 0.2f, 0.3f}},
      {"separator at the line's end", "2X2\nn\n0.1000,0.2000,\n0.3000,\n", {0.1f, 0.2f, 0.3f, 0.0f}},
      {"no fraction digits", "2X1\nn\n0.,7.\n", {0.0f, 7.0f}},
      {"one and more", "2X1\nn\n1.0000,9.9999\n", {1.0f, 9.9999f}},
      {"text beyond the columns is not read", "1X1\nn\n0.1000,nan,-5\n", {0.1f}},
      {"malformed lines beyond the rows are not read", "1X1\nn\n0.1000\n12.5,x\n", {0.1f}},
  };
  TempDir dir;
  for (const Row& row : rows) {
    SoundData data;
    ASSERT_EQ(loadOne(&data, dir, row.content), 0) << row.label << ": " << data.error;
    const auto [cols, rows] = data.sizes[0];
    ASSERT_EQ(static_cast<std::size_t>(cols) * rows, row.grid.size()) << row.label;
    for (std::size_t k = 0; k < row.grid.size(); ++k) {
      EXPECT_NEAR(data.cell(0, static_cast<int>(k) / cols, static_cast<int>(k) % cols), row.grid[k],
                  1e-6)
          << row.label << ", cell " << k;
    }
  }
}

TEST(SoundData, NameLineIsKeptUnchanged) {
  TempDir dir;
  SoundData data;
  ASSERT_EQ(loadOne(&data, dir, "1X1\r\n  Pegel 63 Hz, Mittel. X \r\n0.5000\r\n"), 0);
  EXPECT_EQ(data.getName(0), "  Pegel 63 Hz, Mittel. X ");
  EXPECT_NEAR(data.grids[0][0], 0.5f, 1e-6);
}

TEST(SoundData, SecondLoadReplacesTheFirst) {
  TempDir dir;
  fs::create_directory(dir.path() / "one");
  fs::create_directory(dir.path() / "two");
  writeFile(dir.path() / "one" / "a.csv", smallSet("first a"));
  writeFile(dir.path() / "one" / "b.csv", smallSet("first b"));
  writeFile(dir.path() / "two" / "c.csv", "1X1\nsecond\n0.7000\n");
  SoundData data;
  ASSERT_EQ(data.load((dir.path() / "one").string().c_str()), 0);
  ASSERT_EQ(data.count, 2);
  ASSERT_EQ(data.load((dir.path() / "two").string().c_str()), 0);
  ASSERT_EQ(data.count, 1);
  EXPECT_TRUE(data.loaded);
  EXPECT_EQ(data.getName(0), "second");
  EXPECT_EQ(data.getName(1), "");
  EXPECT_EQ(data.sizes[0], std::make_pair(1, 1));
  EXPECT_NEAR(data.grids[0][0], 0.7f, 1e-6);
}

TEST(SoundData, FailedLoadLeavesNothingLoaded) {
  TempDir dir;
  fs::create_directory(dir.path() / "good");
  fs::create_directory(dir.path() / "bad");
  writeFile(dir.path() / "good" / "a.csv", smallSet("good"));
  writeFile(dir.path() / "bad" / "a.csv", smallSet("readable"));
  writeFile(dir.path() / "bad" / "b.csv", "no size here\nname\n");
  SoundData data;
  ASSERT_EQ(data.load((dir.path() / "good").string().c_str()), 0);
  EXPECT_EQ(data.load((dir.path() / "bad").string().c_str()), -2);
  EXPECT_FALSE(data.loaded);
  EXPECT_EQ(data.count, 0);
  EXPECT_EQ(data.getName(0), "");
  EXPECT_TRUE(data.grids.empty());
}

TEST(SoundData, ClearReleasesEverySetButKeepsTheColourMap) {
  TempDir dir;
  SoundData data;
  ASSERT_EQ(loadOne(&data, dir, smallSet("x")), 0);
  data.clear();
  EXPECT_FALSE(data.loaded);
  EXPECT_EQ(data.count, 0);
  EXPECT_EQ(data.getName(0), "");
  EXPECT_TRUE(data.grids.empty());
  EXPECT_EQ(data.green[32768], 255);
}

TEST(SoundData, ReadFileRefusesIndexWithoutStorage) {
  TempDir dir;
  writeFile(dir.path() / "set.csv", smallSet("x"));
  SoundData data;
  EXPECT_EQ(data.readFile(dir.path().string(), "set.csv", 0), -1);
  data.grids.resize(1);
  data.names.resize(1);
  data.sizes.resize(1);
  EXPECT_EQ(data.readFile(dir.path().string(), "set.csv", -1), -1);
  EXPECT_EQ(data.readFile(dir.path().string(), "set.csv", 1), -1);
  EXPECT_EQ(data.readFile(dir.path().string(), "set.csv", 0), 0);
  EXPECT_EQ(data.names[0], "x");
}
