#include "camera/PointerGrab.h"

#include <cmath>

#include "base/Constants.h"
#include "camera/PhotoCamera.h"

namespace {

// `angle` moved by whole turns to lie as near as possible to `reference`.
double nearestTurn(double angle, double reference) {
  return angle + kTwoPi * std::round((reference - angle) / kTwoPi);
}

PhotoCamera viewCamera(const CamData& camera) {
  return PhotoCamera::pinhole(camera.altitude, camera.azimuth, viewFocalPixels(camera),
                              camera.width, camera.height);
}

}  // namespace

double viewFocalPixels(const CamData& camera) {
  if (!(camera.sensorWidth > 0.0)) {
    return 0.0;
  }
  return camera.f * camera.width / camera.sensorWidth;
}

Vec3 pointerDirection(const CamData& camera, double column, double row) {
  const Vec3 ray = viewCamera(camera).rayThrough(column, row);
  const double length = std::sqrt(dot(ray, ray));
  return length > 0.0 ? (1.0 / length) * ray : ray;
}

bool directionPosition(const CamData& camera, const Vec3& direction, double* column,
                       double* row) {
  const CameraAxes axes = cameraAxes(camera.altitude, camera.azimuth);
  const double forward = dot(direction, axes.forward);
  if (!(forward > 0.0)) {
    return false;
  }
  const double q = viewFocalPixels(camera) / forward;
  *column = camera.width / 2.0 + dot(direction, axes.right) * q;
  *row = camera.height / 2.0 + dot(direction, axes.down) * q;
  return true;
}

bool turnToShow(const CamData& camera, const Vec3& grabbed, double column, double row,
                double* azimuth, double* altitude) {
  // The ray through the position along the camera's right, up and forward
  // axes (Frame.h: r, u, d): x r + y u + f d, of length n. With d, r and u
  // written out, its world components are
  //   vertical:   y sin(alt) - f cos(alt)
  //   horizontal: (h sin(az) - x cos(az), h cos(az) + x sin(az)),
  //               h = y cos(alt) + f sin(alt).
  // The vertical one fixes the altitude, the horizontal pair the azimuth.
  const double f = viewFocalPixels(camera);
  const double x = column - camera.width / 2.0;
  const double y = camera.height / 2.0 - row;
  const double n = std::sqrt(x * x + y * y + f * f);
  const double rho = std::sqrt(y * y + f * f);
  const double length = std::sqrt(dot(grabbed, grabbed));
  if (!(f > 0.0) || !(std::fabs(length - 1.0) < 1e-9)) {
    return false;
  }
  // y sin(alt) - f cos(alt) = rho sin(alt - beta) with beta = atan2(f, y).
  const double s = grabbed.y * n / rho;
  if (!(std::fabs(s) <= 1.0)) {
    return false;
  }
  const double beta = std::atan2(f, y);
  const double near1 = nearestTurn(beta + std::asin(s), camera.altitude);
  const double near2 = nearestTurn(beta + kPi - std::asin(s), camera.altitude);
  const double alt =
      std::fabs(near1 - camera.altitude) <= std::fabs(near2 - camera.altitude) ? near1 : near2;

  // (D_z + i D_x) n = (h - i x) e^(i az).
  double az = camera.azimuth;
  const double h = y * std::cos(alt) + f * std::sin(alt);
  if (std::hypot(grabbed.x, grabbed.z) > 1e-12 && std::hypot(h, x) > 1e-12) {
    az = nearestTurn(std::atan2(grabbed.x, grabbed.z) + std::atan2(x, h), camera.azimuth);
  }
  if (!std::isfinite(az) || !std::isfinite(alt)) {
    return false;
  }
  *azimuth = az;
  *altitude = alt;
  return true;
}
