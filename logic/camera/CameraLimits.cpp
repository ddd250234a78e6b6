#include "camera/CameraLimits.h"

#include <cmath>
#include <limits>

#include "base/Constants.h"

bool isUsableAngleDegrees(double degrees) {
  return std::isfinite(degrees) && std::fabs(degrees) <= kMaxAngleDegrees;
}

bool isUsableAngleRadians(double radians) {
  return std::isfinite(radians) && std::fabs(radiansToDegrees(radians)) <= kMaxAngleDegrees;
}

double horizontalFieldOfViewDegrees(double sensorWidth, double f) {
  if (!(std::isfinite(sensorWidth) && std::isfinite(f) && sensorWidth > 0.0 && f > 0.0)) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  return radiansToDegrees(2.0 * std::atan(sensorWidth / (2.0 * f)));
}

bool isUsableCamera(double azimuth, double altitude, double f, double sensorWidth) {
  if (!isUsableAngleRadians(azimuth) || !isUsableAngleRadians(altitude)) {
    return false;
  }
  if (!(std::isfinite(sensorWidth) && std::isfinite(f) && sensorWidth > 0.0 && f > 0.0)) {
    return false;
  }
  // The condition the wheel keeps (zoomedFocalLength): a half angle in
  // (0, 90 degrees) once rounded, so the plane has a finite, non-zero size.
  const double halfAngle = std::atan(sensorWidth / (2.0 * f));
  return halfAngle > 0.0 && halfAngle < kPi / 2.0;
}
