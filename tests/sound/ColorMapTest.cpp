#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "sound/ColorMap.h"
#include "sound/SoundData.h"

namespace {

struct Bgr {
  int blue;
  int green;
  int red;
};

Bgr entryOf(const SoundData& data, int e) { return {data.blue[e], data.green[e], data.red[e]}; }

void expectColour(const SoundData& data, int e, const Bgr& expected) {
  const Bgr got = entryOf(data, e);
  EXPECT_EQ(got.blue, expected.blue) << "entry " << e;
  EXPECT_EQ(got.green, expected.green) << "entry " << e;
  EXPECT_EQ(got.red, expected.red) << "entry " << e;
}

}  // namespace

TEST(ColorMap, TellingEntriesRunFromDarkBlueToDarkRed) {
  const SoundData data;
  struct Row {
    int e;
    Bgr colour;
  };
  const Row rows[] = {
      {0, {128, 0, 0}},      {1, {128, 0, 0}},       {8192, {255, 0, 0}},
      {16384, {255, 128, 0}}, {24576, {255, 255, 0}}, {32768, {128, 255, 128}},
      {40960, {0, 255, 255}}, {49152, {0, 128, 255}}, {57344, {0, 0, 255}},
      {65535, {0, 0, 128}},
  };
  for (const Row& row : rows) {
    expectColour(data, row.e, row.colour);
  }
}

TEST(ColorMap, ValuesMapToRoundedEntries) {
  const SoundData data;
  struct Row {
    float value;
    int entry;
    Bgr colour;
  };
  const Row rows[] = {
      {0.0f, 0, {128, 0, 0}},
      {0.9999f, 65529, {0, 0, 128}},
      {0.1f, 6554, {230, 0, 0}},
      {0.25f, 16384, {255, 128, 0}},
      {0.75f, 49152, {0, 128, 255}},
      {0.5f, 32768, {128, 255, 128}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(colorEntry(row.value), row.entry) << row.value;
    expectColour(data, row.entry, row.colour);
  }
}

TEST(ColorMap, ValuesOutsideTheMapStayInsideTheTables) {
  EXPECT_EQ(colorEntry(1.0), kColorTableSize - 1);
  EXPECT_EQ(colorEntry(65535.5 / 65536.0), kColorTableSize - 1);  // rounds to 65536
  EXPECT_EQ(colorEntry(9.9999), kColorTableSize - 1);
  EXPECT_EQ(colorEntry(1e300), kColorTableSize - 1);
  EXPECT_EQ(colorEntry(-0.25), 0);
  EXPECT_EQ(colorEntry(-1e300), 0);
  EXPECT_EQ(colorEntry(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(ColorMap, TablesChangeByAtMostOneStepBetweenNeighbouringEntries) {
  // The trapezoid's pieces meet without a jump, so a misplaced boundary or a
  // wrong edge formula shows as a step larger than one.
  const SoundData data;
  ASSERT_EQ(data.blue.size(), static_cast<std::size_t>(kColorTableSize));
  ASSERT_EQ(data.green.size(), static_cast<std::size_t>(kColorTableSize));
  ASSERT_EQ(data.red.size(), static_cast<std::size_t>(kColorTableSize));
  for (int e = 1; e < kColorTableSize; ++e) {
    ASSERT_LE(std::abs(data.blue[e] - data.blue[e - 1]), 1) << "blue at " << e;
    ASSERT_LE(std::abs(data.green[e] - data.green[e - 1]), 1) << "green at " << e;
    ASSERT_LE(std::abs(data.red[e] - data.red[e - 1]), 1) << "red at " << e;
  }
}
