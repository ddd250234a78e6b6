#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>
#include <vector>

#include "base/TextNumbers.h"

namespace {

struct RealCase {
  std::string text;
  bool accepted;
  double value;
};

struct IntCase {
  std::string text;
  bool accepted;
  int value;
};

}  // namespace

TEST(WholeNumber, ReadsTheWholeTokenOrNothing) {
  const std::vector<RealCase> cases = {
      {"45.03", true, 45.03},
      {"-35", true, -35},
      {"+2.5", true, 2.5},
      {" \t7.25\r\n", true, 7.25},
      {"4.5e+01", true, 45},
      {"1E3", true, 1000},
      {".5", true, 0.5},
      {"5.", true, 5},
      {"6.95316e-310", true, 6.95316e-310},  // subnormal, as stitchers write them
      {"1e-400", true, 0.0},                 // below every subnormal: zero
      {"-1e-400", true, -0.0},
      {"0.000000000001e-390", true, 0.0},
      {"1e308", true, 1e308},
      {"1e309", false, 0},  // beyond the double range
      {"123456789e300", true, 123456789e300},
      {"123456789e301", false, 0},
      {"", false, 0},
      {"   ", false, 0},
      {"-", false, 0},
      {"+", false, 0},
      {"+-1", false, 0},
      {"--1", false, 0},
      {"1,5", false, 0},  // a German decimal comma is not a number here
      {"1.5x", false, 0},
      {"1 2", false, 0},
      {"1e", false, 0},
      {"1e+", false, 0},
      {"0x10", false, 0},
      {"inf", false, 0},
      {"-infinity", false, 0},
      {"nan", false, 0},
      {"NAN", false, 0},
      {std::string("1\0", 2), false, 0},
  };
  for (const RealCase& c : cases) {
    double value = -12345.0;
    EXPECT_EQ(readWholeNumber(c.text, &value), c.accepted) << "\"" << c.text << "\"";
    if (c.accepted) {
      EXPECT_EQ(value, c.value) << c.text;
      EXPECT_EQ(std::signbit(value), std::signbit(c.value)) << c.text;
    } else {
      EXPECT_EQ(value, -12345.0) << "unchanged on refusal: " << c.text;
    }
  }
}

TEST(WholeNumber, IgnoresTheUsersLocale) {
  // The GUI toolkit switches the program to the user's locale; with a
  // decimal comma there, "23.6" must still read as 23.6.
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous != nullptr ? previous : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no German locale installed";
  double value = 0.0;
  EXPECT_TRUE(readWholeNumber("23.6", &value));
  EXPECT_EQ(value, 23.6);
  EXPECT_FALSE(readWholeNumber("23,6", &value));
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(WholeNumber, LongTokensAreReadInOnePass) {
  // A megabyte of digits: refused or read, but quickly and without error.
  const std::string digits(1 << 20, '9');
  double value = 0.0;
  EXPECT_FALSE(readWholeNumber(digits, &value));  // 10^1048576 overflows
  EXPECT_TRUE(readWholeNumber("0." + std::string(1 << 20, '0') + "1", &value));
  EXPECT_EQ(value, 0.0);
}

TEST(WholeInt, ReadsDecimalIntegersWithinRange) {
  const std::vector<IntCase> cases = {
      {"3000", true, 3000},     {"-7", true, -7},         {"+4", true, 4},
      {" 12 ", true, 12},       {"007", true, 7},         {"2147483647", true, 2147483647},
      {"-2147483648", true, -2147483647 - 1},             {"2147483648", false, 0},
      {"3.0", false, 0},        {"3e2", false, 0},        {"", false, 0},
      {"0x1F", false, 0},       {"12a", false, 0},        {"+-3", false, 0},
      {"1 2", false, 0},
  };
  for (const IntCase& c : cases) {
    int value = -99;
    EXPECT_EQ(readWholeInt(c.text, &value), c.accepted) << "\"" << c.text << "\"";
    EXPECT_EQ(value, c.accepted ? c.value : -99) << c.text;
  }
}
