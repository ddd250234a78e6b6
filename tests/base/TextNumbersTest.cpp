#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

#include "base/TextNumbers.h"

namespace {

constexpr double kUntouched = -12345.0;

}  // namespace

TEST(TextNumbers, WholeRealReadsOnlyTextThatIsOneNumber) {
  struct Case {
    const char* text;
    bool read;
    double value;
  };
  const Case cases[] = {
      {"80", true, 80.0},
      {" 80.9\t", true, 80.9},
      {"\n  -0.25 \r\n", true, -0.25},
      {"+15", true, 15.0},
      {"+.5", true, 0.5},
      {".5", true, 0.5},
      {"7.", true, 7.0},
      {"1e9", true, 1e9},
      {"1e-9", true, 1e-9},
      {"2.5E+3", true, 2500.0},
      {"-0", true, -0.0},
      {"1e308", true, 1e308},
      {"4e-320", true, 4e-320},  // subnormal, but not zero
      {"80,9", false, 0},        // decimal comma
      {"horizon", false, 0},
      {"", false, 0},
      {"   ", false, 0},
      {"12abc", false, 0},
      {"1 2", false, 0},
      {"1e", false, 0},
      {"e5", false, 0},
      {".", false, 0},
      {"-", false, 0},
      {"+", false, 0},
      {"++1", false, 0},
      {"+-1", false, 0},
      {"--1", false, 0},
      {"0x10", false, 0},
      {"nan", false, 0},
      {"-nan", false, 0},
      {"inf", false, 0},
      {"Infinity", false, 0},
      {"1e309", false, 0},   // beyond the double range
      {"-1e400", false, 0},
      {"1e-400", false, 0},  // underflows to zero
      {"1.5.2", false, 0},
      {"1,000", false, 0},
  };
  for (const Case& c : cases) {
    double value = kUntouched;
    EXPECT_EQ(parseWholeReal(c.text, &value), c.read) << "\"" << c.text << "\"";
    if (c.read) {
      EXPECT_EQ(value, c.value) << c.text;
      EXPECT_EQ(std::signbit(value), std::signbit(c.value)) << c.text;
    } else {
      EXPECT_EQ(value, kUntouched) << c.text;
    }
  }
}

TEST(TextNumbers, WholeIntegerTruncatesDecimalsOnlyWhenAsked) {
  struct Case {
    const char* text;
    bool truncated;  // read with truncateDecimals
    long long truncatedValue;
    bool exact;  // read without
    long long exactValue;
  };
  const Case cases[] = {
      {"18", true, 18, true, 18},
      {" 0 ", true, 0, true, 0},
      {"+7", true, 7, true, 7},
      {"-3", true, -3, true, -3},
      {"007", true, 7, true, 7},
      {"18.5", true, 18, false, 0},
      {"-18.9", true, -18, false, 0},
      {"-0.5", true, 0, false, 0},
      {"7.0", true, 7, true, 7},
      {"1e9", true, 1000000000, true, 1000000000},
      {"1e-9", true, 0, false, 0},
      {"9223372036854775807", true, 9223372036854775807LL, true, 9223372036854775807LL},
      {"-9223372036854775808", true, -9223372036854775807LL - 1, true, -9223372036854775807LL - 1},
      {"9223372036854775808", false, 0, false, 0},  // one beyond
      {"1e19", false, 0, false, 0},
      {"zero", false, 0, false, 0},
      {"", false, 0, false, 0},
      {"3 4", false, 0, false, 0},
      {"80,9", false, 0, false, 0},
      {"nan", false, 0, false, 0},
      {"5x", false, 0, false, 0},
  };
  for (const Case& c : cases) {
    long long value = 99;
    EXPECT_EQ(parseWholeInteger(c.text, &value, true), c.truncated) << "\"" << c.text << "\"";
    EXPECT_EQ(value, c.truncated ? c.truncatedValue : 99) << c.text;
    value = 99;
    EXPECT_EQ(parseWholeInteger(c.text, &value, false), c.exact) << "\"" << c.text << "\"";
    EXPECT_EQ(value, c.exact ? c.exactValue : 99) << c.text;
  }
}

TEST(TextNumbers, WholeReadersIgnoreTheLocale) {
  const char* german = std::setlocale(LC_ALL, "de_DE.UTF-8");
  if (german == nullptr) {
    GTEST_SKIP() << "no German locale installed";
  }
  double real = 0.0;
  long long whole = 0;
  const bool point = parseWholeReal("23.6", &real);
  const bool comma = parseWholeReal("23,6", &real);
  const bool integer = parseWholeInteger("18.5", &whole, true);
  std::setlocale(LC_ALL, "C");
  EXPECT_TRUE(point);
  EXPECT_FALSE(comma);
  EXPECT_DOUBLE_EQ(real, 23.6);
  EXPECT_TRUE(integer);
  EXPECT_EQ(whole, 18);
}

TEST(TextNumbers, LeadingPartReadersStayAsTheyWere) {
  EXPECT_DOUBLE_EQ(textToReal("80,9"), 80.0);
  EXPECT_DOUBLE_EQ(textToReal("1e9x"), 1e9);
  EXPECT_EQ(textToInt("1e9"), 1);
  EXPECT_EQ(textToInt("99999999999"), 2147483647);
}
