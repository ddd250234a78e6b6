#include "camera/GeneralCamera.h"

#include <algorithm>
#include <cmath>

bool makeGeneralCamera(const Lens& lens, double yawDegrees, double pitchDegrees,
                       double rollDegrees, const PhotometricParams& photometric,
                       double outputExposure, GeneralCamera* camera, std::string* error) {
  if (!std::isfinite(yawDegrees) || !std::isfinite(pitchDegrees) || !std::isfinite(rollDegrees)) {
    if (error) *error = "yaw, pitch or roll is not finite";
    return false;
  }
  GeneralCamera made;
  if (!prepareLens(lens, &made.lens, error)) {
    return false;
  }
  std::string reason;
  if (!made.brightness.build(photometric, lens.width, lens.height, outputExposure, &reason)) {
    if (error) *error = "brightness: " + reason;
    return false;
  }
  made.correctsBrightness = !made.brightness.identity();
  made.rotation = photoRotation(yawDegrees, pitchDegrees, rollDegrees);
  made.axis = cameraToWorld(made.rotation, {0.0, 0.0, 1.0});
  *camera = std::move(made);
  return true;
}

double longerSideDegrees(const Lens& lens) {
  if (lens.width <= 0 || lens.height <= 0) {
    return 0.0;
  }
  const double longer = std::max(lens.width, lens.height);
  return std::min(360.0, lens.hfovDegrees * longer / lens.width);
}
