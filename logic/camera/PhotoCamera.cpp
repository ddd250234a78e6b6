#include "camera/PhotoCamera.h"

#include <cmath>

CameraAxes cameraAxes(double altitude, double azimuth) {
  const ViewFrame frame = viewFrame(altitude, azimuth, 0.0, 0.0, 0.0);
  return {frame.r, -1.0 * frame.u, frame.d};
}

Mat3 cameraRotation(const CameraAxes& axes) {
  const Vec3 rows[3] = {axes.right, -1.0 * axes.down, axes.forward};
  Mat3 rotation;
  for (int i = 0; i < 3; ++i) {
    rotation.m[i][0] = rows[i].x;
    rotation.m[i][1] = rows[i].y;
    rotation.m[i][2] = rows[i].z;
  }
  return rotation;
}

PhotoCamera PhotoCamera::pinhole(double altitude, double azimuth, double focalPixels, int width,
                                 int height) {
  const ViewFrame frame = viewFrame(altitude, azimuth, 0.0, 0.0, 0.0);
  PhotoCamera camera;
  camera.axes_ = {frame.r, -1.0 * frame.u, frame.d};
  camera.up_ = frame.u;
  camera.focal_ = focalPixels;
  camera.halfWidth_ = width / 2.0;
  camera.halfHeight_ = height / 2.0;
  camera.lastColumn_ = width - 1;
  camera.lastRow_ = height - 1;
  return camera;
}

Vec3 PhotoCamera::rayThrough(double column, double row) const {
  const Vec3 rowPoint = focal_ * axes_.forward - (row - halfHeight_) * up_;
  return (column - halfWidth_) * axes_.right + rowPoint;
}

PhotoCamera PhotoCamera::lensCamera(const LensModel* lens, const Mat3& rotation, int currentWidth,
                                    int currentHeight) {
  PhotoCamera camera;
  camera.lens_ = lens;
  camera.rotation_ = rotation;
  const Vec3 up = cameraToWorld(rotation, {0.0, 1.0, 0.0});
  camera.axes_ = {cameraToWorld(rotation, {1.0, 0.0, 0.0}), -1.0 * up,
                  cameraToWorld(rotation, {0.0, 0.0, 1.0})};
  camera.up_ = up;
  camera.halfWidth_ = currentWidth / 2.0;
  camera.halfHeight_ = currentHeight / 2.0;
  camera.currentWidth_ = currentWidth;
  camera.currentHeight_ = currentHeight;
  camera.lastColumn_ = std::nextafter(static_cast<double>(currentWidth), 0.0);
  camera.lastRow_ = std::nextafter(static_cast<double>(currentHeight), 0.0);
  camera.toCurrentX_ = static_cast<double>(currentWidth) / lens->lens.width;
  camera.toCurrentY_ = static_cast<double>(currentHeight) / lens->lens.height;
  return camera;
}

bool PhotoCamera::directionThrough(double column, double row, Vec3* direction) const {
  if (lens_ == nullptr) {
    const Vec3 ray = rayThrough(column, row);
    const double length = std::sqrt(dot(ray, ray));
    if (!(length > 0.0) || !std::isfinite(length)) {
      return false;
    }
    *direction = (1.0 / length) * ray;
    return true;
  }
  Vec3 q;
  if (!pixelToDirection(*lens_, column / toCurrentX_, row / toCurrentY_, &q)) {
    return false;
  }
  *direction = cameraToWorld(rotation_, q);
  return true;
}
