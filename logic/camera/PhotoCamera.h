#pragma once

#include "camera/Frame.h"

// The unit axes of a camera looking at (altitude, azimuth), radians, in the
// world frame of camera/Frame.h: `right` and `down` run along the image's
// columns and rows, `forward` is the viewing direction.
struct CameraAxes {
  Vec3 right;
  Vec3 down;
  Vec3 forward;
};

CameraAxes cameraAxes(double altitude, double azimuth);

// How a photograph (or a view) turns a direction into a position in its
// current image, and back. Every place that maps between directions and a
// photograph's pixels goes through this type: the view assembly, the sound
// image and the sample maker.
//
// The pinhole camera: a ray with the components (a, b, e) along (right, down,
// forward) lies at column halfWidth + f a / e and row halfHeight + f b / e,
// f being the focal length in pixels of the current image; the pixel that
// holds the position is (trunc(column), trunc(row)). Only rays in front of
// the camera (e > 0) are seen, and only positions whose pixel is neither the
// last column nor the last row (those are never sampled).
class PhotoCamera {
 public:
  PhotoCamera() = default;
  // A pinhole camera looking at (altitude, azimuth) with `focalPixels` the
  // focal length in pixels of a width x height image; the image centre is at
  // (width / 2, height / 2).
  static PhotoCamera pinhole(double altitude, double azimuth, double focalPixels, int width,
                             int height);

  const CameraAxes& axes() const { return axes_; }
  double focalPixels() const { return focal_; }
  double halfWidth() const { return halfWidth_; }
  double halfHeight() const { return halfHeight_; }

  // The position of the ray (a, b, e), given along the camera's own axes;
  // false when the camera does not see it or the position falls outside the
  // sampled pixels (also for NaN).
  bool project(double a, double b, double e, double* column, double* row) const {
    if (!(e > 0.0)) {
      return false;
    }
    const double q = focal_ / e;
    *column = halfWidth_ + a * q;
    *row = halfHeight_ + b * q;
    return *column >= 0.0 && *column < lastColumn_ && *row >= 0.0 && *row < lastRow_;
  }

  // project() for a ray in world coordinates.
  bool toPixel(const Vec3& ray, double* column, double* row) const {
    return project(dot(ray, axes_.right), dot(ray, axes_.down), dot(ray, axes_.forward), column,
                   row);
  }

  // The world ray through the image position (column, row) (not normalised:
  // its component along `forward` is the focal length in pixels).
  Vec3 rayThrough(double column, double row) const;

 private:
  CameraAxes axes_;
  Vec3 up_;  // -down, kept as computed so that rays are formed exactly as ever
  double focal_ = 0.0;
  double halfWidth_ = 0.0;
  double halfHeight_ = 0.0;
  double lastColumn_ = 0.0;
  double lastRow_ = 0.0;
};
