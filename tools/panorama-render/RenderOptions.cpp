#include "RenderOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "base/TextFormat.h"
#include "camera/CamData.h"
#include "camera/CameraLimits.h"

const char* const kRenderUsage =
    "usage: panorama-render [--panorama FILE.xml] [--sound DIR] [--layer N] [--alpha A]\n"
    "                       [--width W] [--height H] [--f MM] [--azimuth DEG] [--altitude DEG]\n"
    "                       [--threshold T] [--legend] [--marker] [--write-pto FILE.pto]\n"
    "                       [--lanes 1|4|8]\n"
    "                       (--out IMAGE | --bench N | --peak | --bench-sound N)\n"
    "\n"
    "Renders one view of a panorama, with an optional sound layer, exactly as the viewer\n"
    "shows it, and writes it as an image (format by extension), or benchmarks the viewer.\n"
    "\n"
    "  --panorama FILE.xml  panorama description (photographs beside it)\n"
    "  --sound DIR          directory of sound data CSV files\n"
    "  --layer N            sound data set to show, 0 ... sets - 1 (default 0)\n"
    "  --alpha A            sound layer transparency 0..1 (default 1 with --sound)\n"
    "  --width W, --height H  canvas size in pixels (default 700 x 480)\n"
    "  --f MM               focal length of the virtual camera (default 50); the\n"
    "                       horizontal field of view 2 atan(sensor width / 2f), with\n"
    "                       a sensor W / H x 24 mm, must lie between 0.01 and 179 degrees\n"
    "  --azimuth DEG        viewing direction; a larger azimuth turns left (default 0)\n"
    "  --altitude DEG       0 straight down, 90 the horizon, 180 straight up (default 90);\n"
    "                       angles lie within +-1000000 degrees\n"
    "  --out IMAGE          write the view to IMAGE (written beside it under a temporary\n"
    "                       name, read back, then renamed: never left half-written)\n"
    "  --bench N            time opening, N quick views half a degree apart and one\n"
    "                       refinement; print one JSON object\n"
    "  --write-pto FILE.pto also write a stitcher project of the view (with --out) or of\n"
    "                       the view refined last (with --bench): a rectilinear \"p\" line\n"
    "                       of the view's size and horizontal field of view, every\n"
    "                       photograph (absolute path) with its yaw, pitch and roll\n"
    "                       relative to the view (XML descriptions only)\n"
    "  --threshold T        do not draw sound cells below T, 0..1 (needs --sound)\n"
    "  --legend             draw the colour scale into the image's bottom-right corner\n"
    "  --marker             mark the shown set's loudest direction with a ring\n"
    "  --peak               print the shown set's loudest direction as one JSON object\n"
    "                       {\"set\", \"azimuth\", \"altitude\", \"value\"} (degrees: azimuth\n"
    "                       0..360, a larger one to the left; altitude 0 straight down,\n"
    "                       90 the horizon, 180 straight up) (needs --sound)\n"
    "  --lanes N            widest vector lanes the view assembly uses: 8 (the default),\n"
    "                       4 or 1 (one pixel at a time), as far as the processor has\n"
    "                       them; the views are the same (for benchmarks)\n"
    "  --bench-sound N      time N readings under the pointer, the peak search and N\n"
    "                       threshold and transparency changes; print one JSON object\n"
    "                       (needs --sound)\n"
    "\n"
    "The log \"vemraLogic.log\" and the weight map \"LUT.jpg\" are written in the working\n"
    "directory, as the viewer does.\n"
    "Exit codes: 0 done, 2 bad usage (also a --layer the loaded sound data lacks),\n"
    "3 panorama not opened, 4 sound data not loaded (or without any set), 5 image\n"
    "or project not written, 130 or 143 stopped by SIGINT or SIGTERM (at the next\n"
    "step: the controller is closed and the log completed). Refusals print the\n"
    "viewer's message and its reason.\n";

namespace {

bool parseNumber(const char* text, double* value) {
  errno = 0;
  char* end = nullptr;
  const double parsed = std::strtod(text, &end);
  if (errno != 0 || end == text || *end != '\0' || !std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}

bool parseInt(const char* text, long low, long high, int* value) {
  errno = 0;
  char* end = nullptr;
  const long parsed = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || parsed < low || parsed > high) return false;
  *value = static_cast<int>(parsed);
  return true;
}

}  // namespace

bool parseRenderOptions(int argc, char** argv, RenderOptions* o, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      o->help = true;
      return true;
    }
    if (arg == "--legend" || arg == "--marker" || arg == "--peak") {
      (arg == "--legend" ? o->legend : arg == "--marker" ? o->marker : o->peak) = true;
      continue;
    }
    if (i + 1 >= argc) {
      *error = "missing value after " + arg;
      return false;
    }
    const char* value = argv[++i];
    bool ok = true;
    if (arg == "--panorama") {
      o->panorama = value;
    } else if (arg == "--sound") {
      o->sound = value;
    } else if (arg == "--out") {
      o->out = value;
    } else if (arg == "--write-pto") {
      o->writePto = value;
      ok = !o->writePto.empty();
    } else if (arg == "--layer") {
      ok = parseInt(value, 0, 1000000, &o->layer);
    } else if (arg == "--alpha") {
      ok = parseNumber(value, &o->alpha) && o->alpha >= 0.0 && o->alpha <= 1.0;
    } else if (arg == "--width") {
      ok = parseInt(value, 1, 16384, &o->width);
    } else if (arg == "--height") {
      ok = parseInt(value, 1, 16384, &o->height);
    } else if (arg == "--f") {
      // The field of view is checked below, once the canvas size is known.
      ok = parseNumber(value, &o->f) && o->f > 0.0;
    } else if (arg == "--azimuth") {
      ok = parseNumber(value, &o->azimuth) && isUsableAngleDegrees(o->azimuth);
    } else if (arg == "--altitude") {
      ok = parseNumber(value, &o->altitude) && isUsableAngleDegrees(o->altitude);
    } else if (arg == "--bench") {
      ok = parseInt(value, 0, 1000000, &o->bench);
    } else if (arg == "--threshold") {
      ok = parseNumber(value, &o->threshold) && o->threshold >= 0.0 && o->threshold <= 1.0;
    } else if (arg == "--lanes") {
      ok = parseInt(value, 1, 8, &o->lanes) && (o->lanes == 1 || o->lanes == 4 || o->lanes == 8);
    } else if (arg == "--bench-sound") {
      ok = parseInt(value, 1, 10000000, &o->benchSound);
    } else {
      *error = "unknown option " + arg;
      return false;
    }
    if (!ok) {
      *error = "bad value for " + arg + ": " + value;
      return false;
    }
  }
  CamData camera;
  camera.width = o->width;
  camera.height = o->height;
  camera.updateSensorWidth();
  const double fieldOfView = horizontalFieldOfViewDegrees(camera.sensorWidth, o->f);
  if (!(fieldOfView >= kMinFieldOfViewDegrees && fieldOfView <= kMaxFieldOfViewDegrees)) {
    *error = formatText(
        "bad value for --f: %g mm gives a horizontal field of view of %g degrees on a %d x %d "
        "canvas; it must lie between %g and %g",
        o->f, fieldOfView, o->width, o->height, kMinFieldOfViewDegrees, kMaxFieldOfViewDegrees);
    return false;
  }
  const int modes = (o->out.empty() ? 0 : 1) + (o->bench >= 0 ? 1 : 0) + (o->peak ? 1 : 0) +
                    (o->benchSound >= 0 ? 1 : 0);
  if (modes != 1) {
    *error = "give exactly one of --out and --bench (or --peak or --bench-sound)";
    return false;
  }
  for (const auto& [given, option] : {std::pair{o->peak, "--peak"},
                                      std::pair{o->threshold >= 0.0, "--threshold"},
                                      std::pair{o->benchSound >= 0, "--bench-sound"}}) {
    if (given && o->sound.empty()) {
      *error = std::string(option) + " needs --sound";
      return false;
    }
  }
  if (o->bench >= 0 && o->panorama.empty()) {
    *error = "--bench needs --panorama";
    return false;
  }
  if (!o->writePto.empty() && (o->panorama.empty() || (o->out.empty() && o->bench < 0))) {
    *error = "--write-pto needs --panorama and --out or --bench";
    return false;
  }
  if (!o->out.empty() && o->panorama.empty() && o->sound.empty()) {
    *error = "nothing to render: give --panorama, --sound or both";
    return false;
  }
  return true;
}
