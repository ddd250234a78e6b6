#include "controller/Navigation.h"

#include <cmath>

#include "base/Constants.h"

bool zoomedFocalLength(const CamData& camera, int step, double* f) {
  const double halfAngle = std::atan(camera.sensorWidth / (2.0 * camera.f)) - step * kAngleStep;
  if (!(halfAngle > 0.0 && halfAngle < kPi / 2.0)) {
    return false;
  }
  *f = camera.sensorWidth / (2.0 * std::tan(halfAngle));
  return true;
}

float dragScaleFor(int height) {
  return std::pow(static_cast<float>(2LL * height * height), 0.5f);
}

bool dragVelocity(int dx, int dy, float dragScale, float* xVel, float* yVel) {
  const float len = std::pow(static_cast<float>(1LL * dx * dx + 1LL * dy * dy), 0.5f);
  if (!(len > 0.0f)) {
    return false;
  }
  const float k = kDragGain * len / dragScale;
  *xVel = static_cast<float>(dx) * k / len;
  *yVel = static_cast<float>(dy) * k / len;
  return true;
}
