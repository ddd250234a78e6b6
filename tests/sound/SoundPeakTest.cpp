// The loudest cell of a set: the highest value, the first in row order among
// equal ones, its direction through the cell centre, found once at load.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sound/SoundData.h"
#include "sound/SoundPeak.h"
#include "support/TempDir.h"

namespace {

constexpr double kPi = 3.141592653589793;

int addSet(SoundData* data, int cols, int rows, float fill) {
  data->grids.emplace_back(static_cast<std::size_t>(cols) * rows, fill);
  data->names.emplace_back("set");
  data->sizes.emplace_back(cols, rows);
  data->count = static_cast<int>(data->grids.size());
  data->loaded = true;
  return data->count - 1;
}

void setCell(SoundData* data, int set, int row, int col, float value) {
  data->grids[set][static_cast<std::size_t>(row) * data->sizes[set].first + col] = value;
}

}  // namespace

TEST(SoundPeak, HighestCellAndItsCentreDirection) {
  struct Case {
    const char* name;
    std::vector<std::array<int, 2>> cells;  // cells set to 0.9, in this order
    int row;
    int col;
  };
  const Case cases[] = {
      {"one maximum", {{50, 200}}, 50, 200},
      {"tie in two rows: the upper row", {{70, 10}, {30, 300}}, 30, 300},
      {"tie in one row: the left cell", {{30, 300}, {30, 5}}, 30, 5},
      {"first cell", {{0, 0}, {179, 359}}, 0, 0},
      {"last cell", {{179, 359}}, 179, 359},
  };
  for (const Case& c : cases) {
    SoundData data;
    const int set = addSet(&data, 360, 180, 0.2f);
    for (const auto& cell : c.cells) setCell(&data, set, cell[0], cell[1], 0.9f);
    SoundPeak peak;
    ASSERT_TRUE(findSoundPeak(data, set, &peak)) << c.name;
    EXPECT_EQ(peak.row, c.row) << c.name;
    EXPECT_EQ(peak.col, c.col) << c.name;
    EXPECT_EQ(peak.value, 0.9f) << c.name;
    // One degree per cell: the centre is half a degree in.
    EXPECT_NEAR(peak.altitude * 180 / kPi, 180.0 - (c.row + 0.5), 1e-9) << c.name;
    EXPECT_NEAR(peak.azimuth * 180 / kPi, c.col + 0.5, 1e-9) << c.name;
  }
}

TEST(SoundPeak, GridsWithoutValuesAndMissingRows) {
  SoundData data;
  const int zeros = addSet(&data, 8, 4, 0.0f);
  const int partial = addSet(&data, 8, 4, 0.1f);
  data.grids[partial].resize(16);  // two of four rows read
  setCell(&data, partial, 1, 6, 0.4f);
  const int empty = addSet(&data, 8, 4, 0.0f);
  data.grids[empty].clear();
  const int large = addSet(&data, 3, 2, 0.5f);
  setCell(&data, large, 1, 2, 9.9999f);  // values of 1 and more are values too

  SoundPeak peak;
  ASSERT_TRUE(findSoundPeak(data, zeros, &peak));
  EXPECT_EQ(peak.row, 0);
  EXPECT_EQ(peak.col, 0);
  EXPECT_EQ(peak.value, 0.0f);
  ASSERT_TRUE(findSoundPeak(data, partial, &peak));
  EXPECT_EQ(peak.row, 1);
  EXPECT_EQ(peak.col, 6);
  ASSERT_TRUE(findSoundPeak(data, empty, &peak));
  EXPECT_EQ(peak.row, 0);
  EXPECT_EQ(peak.col, 0);
  EXPECT_EQ(peak.value, 0.0f);
  ASSERT_TRUE(findSoundPeak(data, large, &peak));
  EXPECT_EQ(peak.value, 9.9999f);
}

TEST(SoundPeak, SetsThatCannotBeDrawnHaveNone) {
  SoundData data;
  const int set = addSet(&data, 3, 3, 0.5f);
  SoundPeak peak;
  peak.row = 42;
  EXPECT_FALSE(findSoundPeak(data, -1, &peak));
  EXPECT_FALSE(findSoundPeak(data, 1, &peak));
  data.grids[set].resize(4);  // not whole rows
  EXPECT_FALSE(findSoundPeak(data, set, &peak));
  EXPECT_FALSE(soundPeakOf(data, set, &peak));
  EXPECT_EQ(peak.row, 42);
}

TEST(SoundPeak, LoadFindsThePeakOfEverySetOnce) {
  TempDir dir;
  std::filesystem::create_directories("sound");
  const struct {
    const char* file;
    int row;
    int col;
  } sets[] = {{"sound/a.csv", 2, 3}, {"sound/b.csv", 0, 1}};
  for (const auto& s : sets) {
    std::ofstream out(s.file);
    out << "4X3\nPegel\n";
    for (int row = 0; row < 3; ++row) {
      for (int col = 0; col < 4; ++col) {
        out << (col ? "," : "") << (row == s.row && col == s.col ? "0.8000" : "0.1000");
      }
      out << "\n";
    }
  }
  SoundData data;
  ASSERT_EQ(data.load("sound"), 0);
  ASSERT_EQ(data.peaks.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(data.peaks[i].row, sets[i].row);
    EXPECT_EQ(data.peaks[i].col, sets[i].col);
    SoundPeak stored;
    ASSERT_TRUE(soundPeakOf(data, i, &stored));
    EXPECT_EQ(stored.col, sets[i].col);
  }
  data.clear();
  EXPECT_TRUE(data.peaks.empty());
}

TEST(SoundPeak, SearchOfAWholeDegreeGridTakesWellUnderTenMilliseconds) {
  SoundData data;
  const int set = addSet(&data, 360, 180, 0.3f);
  setCell(&data, set, 120, 33, 0.7f);
  double best = 1e9;
  for (int run = 0; run < 5; ++run) {
    SoundPeak peak;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(findSoundPeak(data, set, &peak));
    best = std::min(best, std::chrono::duration<double, std::milli>(
                              std::chrono::steady_clock::now() - start).count());
    EXPECT_EQ(peak.row, 120);
  }
  EXPECT_LT(best, 10.0);
}
