#include "camera/PhotoCamera.h"

CameraAxes cameraAxes(double altitude, double azimuth) {
  const ViewFrame frame = viewFrame(altitude, azimuth, 0.0, 0.0, 0.0);
  return {frame.r, -1.0 * frame.u, frame.d};
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
