#include "SampleArguments.h"

#include <cerrno>
#include <cstdlib>

#include "base/TextNumbers.h"

const char* const kSampleUsage =
    "Usage: panorama-sample [OPTIONS] [DIRECTORY]\n"
    "Writes a sample panorama into DIRECTORY (default: sample): panorama.xml, one JPEG\n"
    "file per photograph and sound/ with sound data sets in CSV files.\n"
    "\n"
    "  -o, --output DIRECTORY  the directory to write (created if missing)\n"
    "  --size WIDTHxHEIGHT     photograph size in pixels (default 3000x2000)\n"
    "  --focal MM              focal length in whole millimetres (default 18; the pixel\n"
    "                          pitch is 1/127.4 mm, so 18 mm at 3000x2000 sees 66 x 47 degrees)\n"
    "  --layout LIST           rings of photographs as ALTITUDE:COUNT,... in degrees, 0 straight\n"
    "                          down, 90 at the horizon, 180 straight up; every second ring is\n"
    "                          turned by half a step (default 0:1,35:5,70:8,110:8,145:5,180:1)\n"
    "  --from IMAGE            photograph an equirectangular IMAGE instead of the built-in\n"
    "                          scene: rows run from straight up to straight down, columns\n"
    "                          from azimuth 0 to 360 degrees, and a larger azimuth lies to the\n"
    "                          left, so an image made for viewers that turn the other way\n"
    "                          shows mirrored (flip it horizontally first)\n"
    "  --sound-grid COLSxROWS  size of the sound data grids (default 360x180)\n"
    "  --grain SIGMA           add sensor-like noise to every photograph: Gaussian, for each\n"
    "                          pixel and channel, of standard deviation SIGMA grey levels\n"
    "                          (0 ... 64, e.g. 4), the same on every run (seeded by the\n"
    "                          photograph ID); such photographs decode about as slowly as\n"
    "                          real ones (default 0: smooth photographs, no noise)\n"
    "  -h, --help              show this text\n";

namespace {

bool parseInt(const std::string& text, int* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || parsed < -1000000000L || parsed > 1000000000L) return false;
  *value = static_cast<int>(parsed);
  return true;
}

// A plain decimal number such as "4" or "2.5": digits with at most one point.
bool parseDecimal(const std::string& text, double* value) {
  bool digit = false;
  bool point = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (!digit) return false;
  *value = textToReal(text.c_str());
  return true;
}

bool parseSize(const std::string& text, int* width, int* height) {
  const std::size_t x = text.find('x');
  return x != std::string::npos && parseInt(text.substr(0, x), width) &&
         parseInt(text.substr(x + 1), height) && *width > 0 && *height > 0;
}

}  // namespace

bool SampleArguments::parse(const std::vector<std::string>& arguments, SampleArguments* result,
                            std::string* error) {
  SampleArguments parsed;
  bool directoryGiven = false;
  auto setDirectory = [&](const std::string& directory) {
    if (directoryGiven) {
      *error = "more than one output directory given";
      return false;
    }
    if (directory.empty()) {
      *error = "the output directory is empty";
      return false;
    }
    parsed.options.directory = directory;
    directoryGiven = true;
    return true;
  };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "-h" || argument == "--help") {
      parsed.help = true;
      continue;
    }
    const bool takesValue = argument == "-o" || argument == "--output" || argument == "--size" ||
                            argument == "--focal" || argument == "--layout" || argument == "--from" ||
                            argument == "--sound-grid" || argument == "--grain";
    if (!takesValue) {
      if (!argument.empty() && argument[0] == '-') {
        *error = "unknown option " + argument;
        return false;
      }
      if (!setDirectory(argument)) return false;
      continue;
    }
    if (i + 1 >= arguments.size()) {
      *error = argument + " needs a value";
      return false;
    }
    const std::string& value = arguments[++i];
    if (argument == "-o" || argument == "--output") {
      if (!setDirectory(value)) return false;
    } else if (argument == "--size") {
      if (!parseSize(value, &parsed.options.photoWidth, &parsed.options.photoHeight)) {
        *error = "--size wants WIDTHxHEIGHT in pixels, not " + value;
        return false;
      }
    } else if (argument == "--focal") {
      if (!parseInt(value, &parsed.options.focalLength) || parsed.options.focalLength <= 0) {
        *error = "--focal wants a whole number of millimetres, not " + value;
        return false;
      }
    } else if (argument == "--layout") {
      if (!SampleLayout::parse(value, &parsed.options.layout, error)) return false;
    } else if (argument == "--from") {
      parsed.options.fromImage = value;
    } else if (argument == "--grain") {
      if (!parseDecimal(value, &parsed.options.grain) || parsed.options.grain > 64.0) {
        *error = "--grain wants a standard deviation of 0 ... 64 grey levels, not " + value;
        return false;
      }
    } else if (argument == "--sound-grid") {
      if (!parseSize(value, &parsed.options.soundColumns, &parsed.options.soundRows)) {
        *error = "--sound-grid wants COLSxROWS, not " + value;
        return false;
      }
    }
  }
  *result = parsed;
  return true;
}
