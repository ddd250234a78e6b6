#include "base/TextNumbers.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>

#include <locale.h>

namespace {

locale_t cLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return locale;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Drops one leading "+" (from_chars takes only "-"); "+-1" stays refused.
bool dropPlus(std::string_view* text) {
  if (text->empty() || text->front() != '+') return true;
  text->remove_prefix(1);
  return !text->empty() && text->front() != '-';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// For a decimal real that from_chars found out of range: whether its
// magnitude is below 1 (an underflow rather than an overflow). The decimal
// exponent of the leading digit is the explicit exponent plus the place of
// the first non-zero digit; both are counted with saturation.
bool isUnderflow(std::string_view number) {
  std::size_t pos = (!number.empty() && number.front() == '-') ? 1 : 0;
  long long place = 0;  // decimal exponent of the first non-zero digit
  bool seenNonZero = false;
  bool inFraction = false;
  for (; pos < number.size(); ++pos) {
    const char c = number[pos];
    if (c == '.') {
      inFraction = true;
    } else if (isDigit(c)) {
      if (!seenNonZero && c != '0') {
        seenNonZero = true;
        if (inFraction) place = place - 1;
      } else if (seenNonZero && !inFraction) {
        place = std::min(place + 1, 1LL << 40);
      } else if (!seenNonZero && inFraction) {
        place = std::max(place - 1, -(1LL << 40));
      }
    } else {
      break;
    }
  }
  long long exponent = 0;
  if (pos < number.size() && (number[pos] == 'e' || number[pos] == 'E')) {
    ++pos;
    bool negative = false;
    if (pos < number.size() && (number[pos] == '-' || number[pos] == '+')) {
      negative = number[pos] == '-';
      ++pos;
    }
    for (; pos < number.size() && isDigit(number[pos]); ++pos) {
      exponent = std::min(exponent * 10 + (number[pos] - '0'), 1LL << 40);
    }
    if (negative) exponent = -exponent;
  }
  return place + exponent < 0;
}

}  // namespace

double textToReal(const char* text) { return strtod_l(text, nullptr, cLocale()); }

int textToInt(const char* text) {
  const long value = strtol_l(text, nullptr, 10, cLocale());
  return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

bool readWholeNumber(std::string_view text, double* value) {
  text = trimBlanks(text);
  if (!dropPlus(&text) || text.empty()) return false;
  // from_chars would also take "inf", "nan" and "infinity": only digits,
  // a point and a sign may start a number here.
  const std::size_t first = text.front() == '-' ? 1 : 0;
  if (first >= text.size() || !(isDigit(text[first]) || text[first] == '.')) return false;
  double parsed = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (end != text.data() + text.size()) return false;
  if (error == std::errc::result_out_of_range) {
    if (!isUnderflow(text)) return false;
    parsed = text.front() == '-' ? -0.0 : 0.0;
  } else if (error != std::errc() || !std::isfinite(parsed)) {
    return false;
  }
  *value = parsed;
  return true;
}

bool readWholeInt(std::string_view text, int* value) {
  text = trimBlanks(text);
  if (!dropPlus(&text) || text.empty()) return false;
  int parsed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc() || end != text.data() + text.size()) return false;
  *value = parsed;
  return true;
}
