#include "panorama/PhotoHeader.h"

#include <cstdio>

bool photoWithinLimit(int width, int height, std::uint64_t maxPixels, std::string* reason) {
  const std::uint64_t pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  if (width >= 0 && height >= 0 && pixels <= maxPixels) {
    return true;
  }
  char text[160];
  std::snprintf(text, sizeof text, "%d x %d pixels (%.1f megapixels) exceed the limit of %.1f megapixels",
                width, height, static_cast<double>(pixels) / 1e6, static_cast<double>(maxPixels) / 1e6);
  *reason = text;
  return false;
}
