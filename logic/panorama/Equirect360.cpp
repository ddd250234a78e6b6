#include "panorama/Equirect360.h"

#include <climits>
#include <cmath>
#include <numeric>
#include <vector>

#include "base/TextFormat.h"
#include "base/TextNumbers.h"

namespace {

constexpr std::string_view kGPanoNamespace = "http://ns.google.com/photos/1.0/panorama/";
constexpr std::size_t kMaxPrefixes = 8;
// Largest pixel number taken from the metadata.
constexpr double kMaxMetadataPixels = 1e9;

bool isNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == '.';
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::size_t skipSpaces(std::string_view text, std::size_t pos) {
  while (pos < text.size() && isSpace(text[pos])) ++pos;
  return pos;
}

// The prefixes bound to the GPano namespace by xmlns:PFX="..." declarations.
std::vector<std::string> gpanoPrefixes(std::string_view xmp) {
  std::vector<std::string> prefixes;
  constexpr std::string_view kDeclaration = "xmlns:";
  std::size_t pos = 0;
  while (prefixes.size() < kMaxPrefixes && (pos = xmp.find(kDeclaration, pos)) != std::string_view::npos) {
    pos += kDeclaration.size();
    const std::size_t nameStart = pos;
    while (pos < xmp.size() && isNameChar(xmp[pos])) ++pos;
    const std::string_view prefix = xmp.substr(nameStart, pos - nameStart);
    pos = skipSpaces(xmp, pos);
    if (prefix.empty() || pos >= xmp.size() || xmp[pos] != '=') continue;
    pos = skipSpaces(xmp, pos + 1);
    if (pos >= xmp.size() || (xmp[pos] != '"' && xmp[pos] != '\'')) continue;
    const char quote = xmp[pos++];
    if (xmp.compare(pos, kGPanoNamespace.size(), kGPanoNamespace) != 0) continue;
    pos += kGPanoNamespace.size();
    if (pos >= xmp.size() || xmp[pos] != quote) continue;
    bool known = false;
    for (const std::string& seen : prefixes) known = known || seen == prefix;
    if (!known) prefixes.emplace_back(prefix);
  }
  return prefixes;
}

// Adds the values of every PFX:Field attribute and <PFX:Field> element.
void collectValues(std::string_view xmp, const std::string& prefix, std::map<std::string, std::string>* values) {
  const std::string qualifier = prefix + ":";
  std::size_t pos = 0;
  while ((pos = xmp.find(qualifier, pos)) != std::string_view::npos) {
    const char before = pos > 0 ? xmp[pos - 1] : '\0';
    // Only whole names: "<PFX:" starts an element, a space an attribute
    // ("XPFX:" and "</PFX:" are something else).
    const bool element = before == '<';
    const bool attribute = isSpace(before);
    pos += qualifier.size();
    if (!element && !attribute) continue;
    const std::size_t nameStart = pos;
    while (pos < xmp.size() && isNameChar(xmp[pos])) ++pos;
    const std::string name(xmp.substr(nameStart, pos - nameStart));
    std::size_t valueStart = 0;
    std::size_t valueEnd = 0;
    if (element) {
      pos = skipSpaces(xmp, pos);
      if (pos >= xmp.size() || xmp[pos] != '>') continue;
      valueStart = ++pos;
      valueEnd = xmp.find('<', pos);
    } else {
      pos = skipSpaces(xmp, pos);
      if (pos >= xmp.size() || xmp[pos] != '=') continue;
      pos = skipSpaces(xmp, pos + 1);
      if (pos >= xmp.size() || (xmp[pos] != '"' && xmp[pos] != '\'')) continue;
      valueStart = pos + 1;
      valueEnd = xmp.find(xmp[pos], valueStart);
    }
    if (valueEnd == std::string_view::npos) return;  // unterminated: nothing further is complete
    if (!name.empty()) values->emplace(name, std::string(xmp.substr(valueStart, valueEnd - valueStart)));
    pos = valueEnd + 1;
  }
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  return text;
}

// Reads the GPano values that matter; sets *reason on a bad one.
class Metadata {
 public:
  explicit Metadata(const JpegHeader& header) : values_(findGPanoValues(header.xmp)) {
    if (!header.extendedXmp.empty()) values_.merge(findGPanoValues(header.extendedXmp));
  }

  bool has(const char* field) const { return values_.count(field) != 0; }

  // A whole pixel number 0 ... kMaxMetadataPixels (positive when
  // `positive`), or `fallback` when absent.
  bool pixels(const char* field, double fallback, bool positive, double* value, std::string* reason) const {
    const auto found = values_.find(field);
    if (found == values_.end()) {
      *value = fallback;
      return true;
    }
    double number = 0.0;
    if (!readWholeNumber(found->second, &number) || number != std::floor(number) || number < 0.0 ||
        number > kMaxMetadataPixels || (positive && number == 0.0)) {
      *reason = formatText("Panorama-Angaben des Fotos: %s ist keine %s Pixelzahl (\"%s\")", field,
                           positive ? "positive" : "gültige", printableText(found->second).c_str());
      return false;
    }
    *value = number;
    return true;
  }

  // Degrees within [low, high], or 0 when absent.
  bool degrees(const char* field, double low, double high, double* value, std::string* reason) const {
    const auto found = values_.find(field);
    if (found == values_.end()) return true;
    double number = 0.0;
    if (!readWholeNumber(found->second, &number) || number < low || number > high) {
      *reason = formatText("Panorama-Angaben des Fotos: %s ist kein Winkel von %g bis %g Grad (\"%s\")", field, low,
                           high, printableText(found->second).c_str());
      return false;
    }
    *value = number;
    return true;
  }

  const std::string* text(const char* field) const {
    const auto found = values_.find(field);
    return found == values_.end() ? nullptr : &found->second;
  }

 private:
  std::map<std::string, std::string> values_;
};

std::string aspectText(int width, int height) {
  const int divisor = std::gcd(width, height);
  return formatText("%d:%d", width / divisor, height / divisor);
}

// Places the photograph by its GPano pixel numbers.
bool placeByMetadata(const Metadata& metadata, Equirect360* out, std::string* reason) {
  const double width = out->imageWidth;
  const double height = out->imageHeight;
  double cropWidth = 0, cropHeight = 0, fullWidth = 0, fullHeight = 0, left = 0, top = 0;
  if (!metadata.pixels("CroppedAreaImageWidthPixels", width, true, &cropWidth, reason) ||
      !metadata.pixels("CroppedAreaImageHeightPixels", height, true, &cropHeight, reason) ||
      !metadata.pixels("FullPanoWidthPixels", cropWidth, true, &fullWidth, reason) ||
      !metadata.pixels("FullPanoHeightPixels", cropHeight, true, &fullHeight, reason) ||
      !metadata.pixels("CroppedAreaLeftPixels", 0.0, false, &left, reason) ||
      !metadata.pixels("CroppedAreaTopPixels", 0.0, false, &top, reason)) {
    return false;
  }
  // A photograph resized after its metadata was written keeps its placement:
  // the metadata's pixels are scaled by the same factor across and down.
  const double scale = width / cropWidth;
  if (std::fabs(cropHeight * scale - height) > 1.0 || std::fabs(height / cropHeight * cropWidth - width) > 1.0) {
    *reason = formatText(
        "Panorama-Angaben des Fotos passen nicht zum Foto: es hat %d × %d Pixel, der Ausschnitt %.0f × %.0f",
        out->imageWidth, out->imageHeight, cropWidth, cropHeight);
    return false;
  }
  if (left + cropWidth > fullWidth || top + cropHeight > fullHeight) {
    *reason = formatText(
        "Panorama-Angaben des Fotos: der Ausschnitt (%.0f × %.0f ab %.0f, %.0f) liegt nicht im vollen Panorama "
        "(%.0f × %.0f)",
        cropWidth, cropHeight, left, top, fullWidth, fullHeight);
    return false;
  }
  if (std::fabs(fullWidth - 2.0 * fullHeight) > 0.01 * fullWidth) {
    *reason = formatText("Panorama-Angaben des Fotos: das volle Panorama (%.0f × %.0f) ist nicht 2:1", fullWidth,
                         fullHeight);
    return false;
  }
  if (fullWidth * scale > INT_MAX || fullHeight * scale > INT_MAX) {
    *reason = "Panorama-Angaben des Fotos: volles Panorama unplausibel groß";
    return false;
  }
  out->fromMetadata = true;
  out->scale = scale;
  out->fullWidth = static_cast<int>(std::lround(fullWidth * scale));
  out->fullHeight = static_cast<int>(std::lround(fullHeight * scale));
  out->cropLeft = static_cast<int>(std::lround(left * scale));
  out->cropTop = static_cast<int>(std::lround(top * scale));
  out->azimuthLeft = 180.0 - left * 360.0 / fullWidth;
  out->azimuthRight = 180.0 - (left + cropWidth) * 360.0 / fullWidth;
  out->altitudeTop = 180.0 - top * 180.0 / fullHeight;
  out->altitudeBottom = 180.0 - (top + cropHeight) * 180.0 / fullHeight;
  out->wholeSphere = left == 0 && top == 0 && cropWidth == fullWidth && cropHeight == fullHeight;
  return true;
}

}  // namespace

std::map<std::string, std::string> findGPanoValues(std::string_view xmp) {
  std::map<std::string, std::string> values;
  for (const std::string& prefix : gpanoPrefixes(xmp)) collectValues(xmp, prefix, &values);
  return values;
}

bool describeEquirect360(const JpegHeader& header, Equirect360* description, std::string* reason) {
  std::string why;
  Equirect360 out;
  out.imageWidth = header.width;
  out.imageHeight = header.height;
  out.fullWidth = header.width;
  out.fullHeight = header.height;
  const auto refuse = [&](std::string text) {
    if (reason != nullptr) *reason = std::move(text);
    return false;
  };
  if (header.width <= 0 || header.height <= 0) return refuse("Foto ohne Bildgröße");
  if (static_cast<double>(header.width) * header.height > kMax360Pixels) {
    return refuse(formatText("Foto zu groß: %d × %d Pixel (höchstens %.0f Megapixel)", header.width, header.height,
                             kMax360Pixels / 1e6));
  }
  const Metadata metadata(header);
  const std::string* projection = metadata.text("ProjectionType");
  if (projection != nullptr && trimmed(*projection) != "equirectangular") {
    return refuse(formatText("Panorama-Angaben des Fotos: Projektion \"%s\" wird nicht unterstützt (nur "
                             "equirectangular)",
                             printableText(trimmed(*projection)).c_str()));
  }
  const bool placed = metadata.has("FullPanoWidthPixels") || metadata.has("FullPanoHeightPixels") ||
                      metadata.has("CroppedAreaImageWidthPixels") || metadata.has("CroppedAreaImageHeightPixels") ||
                      metadata.has("CroppedAreaLeftPixels") || metadata.has("CroppedAreaTopPixels");
  if (placed) {
    if (projection == nullptr) {
      return refuse("Panorama-Angaben des Fotos ohne Projektionsart (GPano:ProjectionType)");
    }
    if (!placeByMetadata(metadata, &out, &why)) return refuse(why);
  } else if (std::abs(header.width - 2 * header.height) > 1) {
    return refuse(formatText("Seitenverhältnis %s ist kein 360°-Foto (2:1) und das Foto trägt keine "
                             "Panorama-Angaben",
                             aspectText(header.width, header.height).c_str()));
  }
  if (!metadata.degrees("PoseHeadingDegrees", -360.0, 360.0, &out.headingDegrees, &why) ||
      !metadata.degrees("PosePitchDegrees", -90.0, 90.0, &out.pitchDegrees, &why) ||
      !metadata.degrees("PoseRollDegrees", -180.0, 180.0, &out.rollDegrees, &why)) {
    return refuse(why);
  }
  out.headingDegrees = std::fmod(out.headingDegrees, 360.0);
  if (out.headingDegrees < 0.0) out.headingDegrees += 360.0;
  *description = out;
  return true;
}

bool readEquirect360(const std::string& path, Equirect360* description, std::string* reason) {
  JpegHeader header;
  std::string why;
  if (readJpegHeader(path, &header, &why) != JpegRead::kRead) {
    if (reason != nullptr) *reason = "Foto nicht lesbar: " + why;
    return false;
  }
  return describeEquirect360(header, description, reason);
}
