#include "SampleLayout.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

SampleLayout SampleLayout::standard() {
  return SampleLayout{{{0.0, 1}, {35.0, 5}, {70.0, 8}, {110.0, 8}, {145.0, 5}, {180.0, 1}}};
}

bool SampleLayout::parse(const std::string& text, SampleLayout* layout, std::string* error) {
  SampleLayout parsed;
  std::stringstream items(text);
  std::string item;
  while (std::getline(items, item, ',')) {
    const std::size_t colon = item.find(':');
    const std::string altitudeText = item.substr(0, colon);
    const std::string countText = colon == std::string::npos ? "" : item.substr(colon + 1);
    char* end = nullptr;
    errno = 0;
    const double altitude = std::strtod(altitudeText.c_str(), &end);
    const bool altitudeOk = !altitudeText.empty() && *end == '\0' && errno == 0 &&
                            altitude >= 0.0 && altitude <= 180.0;
    errno = 0;
    const long count = std::strtol(countText.c_str(), &end, 10);
    const bool countOk = !countText.empty() && *end == '\0' && errno == 0 && count >= 1 && count <= 1000;
    if (!altitudeOk || !countOk) {
      *error = "layout entry \"" + item + "\" is not ALTITUDE:COUNT with an altitude of 0 ... 180 "
               "degrees and 1 ... 1000 photographs";
      return false;
    }
    parsed.rings.push_back({altitude, static_cast<int>(count)});
  }
  if (parsed.rings.empty() || (!text.empty() && text.back() == ',')) {
    *error = "the layout \"" + text + "\" names no ring";
    return false;
  }
  *layout = parsed;
  return true;
}

std::string SampleLayout::text() const {
  std::string result;
  for (const SampleRing& ring : rings) {
    char item[64];
    std::snprintf(item, sizeof item, "%s%.17g:%d", result.empty() ? "" : ",", ring.altitude, ring.count);
    result += item;
  }
  return result;
}

std::vector<SampleDirection> SampleLayout::directions() const {
  std::vector<SampleDirection> result;
  for (std::size_t i = 0; i < rings.size(); ++i) {
    const double step = 360.0 / rings[i].count;
    const double offset = i % 2 == 1 ? step / 2.0 : 0.0;
    for (int j = 0; j < rings[i].count; ++j) {
      result.push_back({rings[i].altitude, offset + j * step});
    }
  }
  return result;
}
