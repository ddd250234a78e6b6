#include "controller/PointerReading.h"

#include <cmath>
#include <charconv>
#include <cstddef>
#include <system_error>

#include "base/Constants.h"
#include "sound/SoundData.h"
#include "sound/SoundRays.h"

PointerReading readPointerAt(const CamData& camera, const SoundData* sound, int layer, int column,
                             int row) {
  PointerReading reading;
  if (column < 0 || row < 0 || column >= camera.width || row >= camera.height) {
    return reading;
  }
  // The view picture's pitch (Picture::forCamera): the rays are those the
  // sound image computes for this pixel.
  const ViewRays rays =
      viewRays(camera.altitude, camera.azimuth, camera.f, camera.width, camera.height,
               camera.sensorWidth / static_cast<double>(camera.width));
  double altitude = 0.0;
  double azimuth = 0.0;
  rayAngles(pixelRay(rays, column, row), &altitude, &azimuth);
  if (!std::isfinite(altitude) || !std::isfinite(azimuth)) {
    return reading;
  }
  reading.inView = true;
  reading.altitude = radiansToDegrees(altitude);
  reading.azimuth = radiansToDegrees(camera.azimuth + std::remainder(azimuth - camera.azimuth, kTwoPi));

  if (sound == nullptr || !sound->loaded || layer < 0 || layer >= sound->count ||
      layer >= static_cast<int>(sound->sizes.size())) {
    return reading;
  }
  const auto [cols, rows] = sound->sizes[layer];
  if (cols < 1 || rows < 1 || !angleCell(altitude, azimuth, rows, cols, &reading.row, &reading.col)) {
    return reading;
  }
  reading.hasValue = true;
  reading.value = sound->cell(layer, reading.row, reading.col);
  return reading;
}

namespace {

// `value` with `digits` decimals and "." as the decimal point whatever the
// program's locale (the GUI toolkit switches it to the user's); a value that
// rounds to zero is written without a sign.
std::string fixed(double value, int digits) {
  char buffer[64];
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, digits);
  if (error != std::errc()) {
    return "?";
  }
  std::string text(buffer, end);
  if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) {
    text.erase(0, 1);
  }
  return text;
}

}  // namespace

std::string pointerText(const PointerReading& reading) {
  if (!reading.inView) {
    return std::string();
  }
  std::string text =
      "Azimut " + fixed(reading.azimuth, 2) + "°, Höhe " + fixed(reading.altitude, 2) + "°";
  if (reading.hasValue) {
    text += ", Wert " + fixed(reading.value, 4);
  }
  return text;
}
