#include "base/TextNumbers.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include <locale.h>

namespace {

locale_t cLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return locale;
}

}  // namespace

double textToReal(const char* text) { return strtod_l(text, nullptr, cLocale()); }

int textToInt(const char* text) {
  const long value = strtol_l(text, nullptr, 10, cLocale());
  return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}
