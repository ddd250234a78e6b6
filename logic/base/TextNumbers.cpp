#include "base/TextNumbers.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <system_error>

#include <locale.h>

namespace {

locale_t cLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return locale;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

double textToReal(const char* text) { return strtod_l(text, nullptr, cLocale()); }

int textToInt(const char* text) {
  const long value = strtol_l(text, nullptr, 10, cLocale());
  return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

bool parseWholeReal(std::string_view text, double* value) {
  text = trimmed(text);
  // from_chars takes no "+"; one is allowed before the digits.
  if (text.size() >= 2 && text.front() == '+' && (isDigit(text[1]) || text[1] == '.')) {
    text.remove_prefix(1);
  }
  // Only digits, a point, signs and exponent letters: from_chars would also
  // read "inf", "nan" and "infinity".
  for (char c : text) {
    if (!(isDigit(c) || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) return false;
  }
  if (text.empty() || !(isDigit(text.front()) || text.front() == '.' || text.front() == '-')) {
    return false;
  }
  double parsed = 0.0;
  const char* end = text.data() + text.size();
  const std::from_chars_result result =
      std::from_chars(text.data(), end, parsed, std::chars_format::general);
  if (result.ec != std::errc() || result.ptr != end || !std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}

bool parseWholeInteger(std::string_view text, long long* value, bool truncateDecimals) {
  // Plain integers are read exactly, also beyond 2^53.
  const std::string_view plain = trimmed(text);
  std::string_view digits = plain;
  if (digits.size() >= 2 && digits.front() == '+' && isDigit(digits[1])) digits.remove_prefix(1);
  long long exact = 0;
  const char* end = digits.data() + digits.size();
  const std::from_chars_result result = std::from_chars(digits.data(), end, exact);
  if (!digits.empty() && result.ptr == end) {
    if (result.ec != std::errc()) return false;  // out of range
    *value = exact;
    return true;
  }
  double real = 0.0;
  if (!parseWholeReal(plain, &real)) return false;
  const double whole = std::trunc(real);
  if (!truncateDecimals && whole != real) return false;
  // 2^63 is exact in double; every double below it converts without overflow.
  constexpr double kLimit = 9223372036854775808.0;
  if (!(whole >= -kLimit && whole < kLimit)) return false;
  *value = static_cast<long long>(whole);
  return true;
}
