#include "sound/ColorMap.h"

#include <cmath>

double colorTrapezoid(double e, double centre) {
  const double m = centre;
  if (m - 24576.0 < e && e <= m - 8192.0) {
    return (4.0 * e - 4.0 * m + 98304.0) / 65536.0;
  }
  if (m - 8192.0 < e && e <= m + 8192.0) {
    return 1.0;
  }
  if (m + 8192.0 < e && e <= m + 24576.0) {
    return (4.0 * m - 4.0 * e + 32768.0) / 65536.0 + 1.0;
  }
  return 0.0;
}

std::vector<unsigned char> makeColorTable(double centre) {
  std::vector<unsigned char> table(kColorTableSize);
  for (int e = 0; e < kColorTableSize; ++e) {
    const double t = colorTrapezoid(static_cast<double>(e), centre);
    table[e] = static_cast<unsigned char>(std::floor(t * 255.0 + 0.5));
  }
  return table;
}

int colorEntry(double value) {
  const double e = std::floor(value * 65536.0 + 0.5);
  if (!(e > 0.0)) {
    return 0;
  }
  if (e >= kColorTableSize - 1) {
    return kColorTableSize - 1;
  }
  return static_cast<int>(e);
}
