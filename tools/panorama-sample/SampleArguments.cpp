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
    "\n"
    "Stitcher projects and 360-degree photographs of the same scene:\n"
    "  --format xml|pto        describe the photographs in panorama.xml (default) or in the\n"
    "                          stitcher project panorama.pto; the options below shape the\n"
    "                          project's photographs, each rendered through its exact lens\n"
    "  --projection CODE       the project's projection of every photograph: 0 rectilinear\n"
    "                          (default), 1 cylindrical, 2 circular fisheye, 3 full-frame\n"
    "                          fisheye, 4 equirectangular, 8 orthographic, 10 stereographic,\n"
    "                          21 equisolid\n"
    "  --hfov DEG              field of view across the width (default: the rectilinear field\n"
    "                          of the focal length)\n"
    "  --distortion A,B,C      radial distortion coefficients (default 0,0,0)\n"
    "  --shift D,E             optical centre shift in pixels (default 0,0)\n"
    "  --roll DEG              every photograph turned clockwise by DEG degrees\n"
    "  --exposure-spread EV    odd-numbered photographs EV stops darker (exposure value EV)\n"
    "  --equirect WIDTH        write one 360-degree photograph panorama360.jpg of WIDTH x\n"
    "                          WIDTH/2 pixels (and the sound data) instead of photographs\n"
    "  --equirect-crop L,T,W,H only the part W x H at (L, T) of that whole panorama, placed by\n"
    "                          GPano metadata\n"
    "  --gpano                 GPano metadata for a whole 360-degree photograph as well\n"
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

// "X,Y,..." with exactly `count` numbers (signs and exponents allowed).
bool parseNumbers(const std::string& text, int count, double* values) {
  std::size_t from = 0;
  for (int i = 0; i < count; ++i) {
    const std::size_t comma = i + 1 < count ? text.find(',', from) : text.size();
    if (comma == std::string::npos) return false;
    if (!readWholeNumber(std::string_view(text).substr(from, comma - from), &values[i])) return false;
    from = comma + 1;
  }
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
    if (argument == "--gpano") {
      parsed.options.equirect.metadata = true;
      continue;
    }
    const bool takesValue = argument == "-o" || argument == "--output" || argument == "--size" ||
                            argument == "--focal" || argument == "--layout" || argument == "--from" ||
                            argument == "--sound-grid" || argument == "--grain" ||
                            argument == "--format" || argument == "--projection" ||
                            argument == "--hfov" || argument == "--distortion" ||
                            argument == "--shift" || argument == "--roll" ||
                            argument == "--exposure-spread" || argument == "--equirect" ||
                            argument == "--equirect-crop";
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
    } else if (argument == "--format") {
      if (value != "xml" && value != "pto") {
        *error = "--format wants xml or pto, not " + value;
        return false;
      }
      parsed.options.project = value == "pto";
    } else if (argument == "--projection") {
      if (!parseInt(value, &parsed.options.projection)) {
        *error = "--projection wants a projection code, not " + value;
        return false;
      }
    } else if (argument == "--hfov" || argument == "--roll" || argument == "--exposure-spread") {
      double number = 0.0;
      if (!parseNumbers(value, 1, &number)) {
        *error = argument + " wants a number, not " + value;
        return false;
      }
      (argument == "--hfov"   ? parsed.options.hfov
       : argument == "--roll" ? parsed.options.roll
                              : parsed.options.exposureSpread) = number;
    } else if (argument == "--distortion") {
      if (!parseNumbers(value, 3, parsed.options.distortion)) {
        *error = "--distortion wants A,B,C, not " + value;
        return false;
      }
    } else if (argument == "--shift") {
      if (!parseNumbers(value, 2, parsed.options.shift)) {
        *error = "--shift wants D,E in pixels, not " + value;
        return false;
      }
    } else if (argument == "--equirect") {
      if (!parseInt(value, &parsed.options.equirectWidth) || parsed.options.equirectWidth <= 0) {
        *error = "--equirect wants a width in pixels, not " + value;
        return false;
      }
    } else if (argument == "--equirect-crop") {
      double part[4];
      EquirectCrop& crop = parsed.options.equirect;
      if (!parseNumbers(value, 4, part) || part[0] < 0 || part[1] < 0 || part[2] < 1 ||
          part[3] < 1 || part[0] > 1e5 || part[1] > 1e5 || part[2] > 1e5 || part[3] > 1e5) {
        *error = "--equirect-crop wants LEFT,TOP,WIDTH,HEIGHT in pixels, not " + value;
        return false;
      }
      crop.left = static_cast<int>(part[0]);
      crop.top = static_cast<int>(part[1]);
      crop.width = static_cast<int>(part[2]);
      crop.height = static_cast<int>(part[3]);
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
