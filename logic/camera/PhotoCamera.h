#pragma once

#include "camera/Frame.h"
#include "camera/LensMapping.h"
#include "camera/LensModel.h"

// The unit axes of a camera looking at (altitude, azimuth), radians, in the
// world frame of camera/Frame.h: `right` and `down` run along the image's
// columns and rows, `forward` is the viewing direction.
struct CameraAxes {
  Vec3 right;
  Vec3 down;
  Vec3 forward;
};

CameraAxes cameraAxes(double altitude, double azimuth);

// The matrix that takes a world direction into the frame of a camera with
// these axes, x towards the image's right, y towards its top, z forward:
// the kind of matrix photoRotation makes (a pinhole at (altitude, azimuth)
// gives photoRotation(-azimuth, altitude - pi/2, 0), angles in degrees).
Mat3 cameraRotation(const CameraAxes& axes);

// How a photograph (or a view) turns a direction into a position in its
// current image, and back. Every place that maps between directions and a
// photograph's pixels goes through this type: the view assembly, the sound
// image and the sample maker.
//
// Two modes:
// - the pinhole camera of the XML description's photographs and of the
//   view: a ray with the components (a, b, e) along (right, down, forward)
//   lies at column halfWidth + f a / e and row halfHeight + f b / e, f being
//   the focal length in pixels of the current image; the pixel that holds the
//   position is (trunc(column), trunc(row)). Only rays in front of the camera
//   (e > 0) are seen, and only positions whose pixel is neither the last
//   column nor the last row (those are never sampled);
// - the lens camera of a stitcher project's photograph or a 360-degree
//   photograph: a prepared LensModel (camera/LensModel.h) turned by its
//   rotation. Its axes are the camera frame's x, -y and z in the world, so
//   (a, b, e) is the camera-frame direction (a, -b, e); the lens gives the
//   position in the full-size picture (false wherever the photograph does not
//   see the direction: behind, outside its circle or crop, inside a hiding
//   mask), and the current image, which may be a preview or a scaled image,
//   holds it at column_full * currentWidth / fullWidth and likewise for rows.
//   Every pixel of the current image may be sampled.
class PhotoCamera {
 public:
  PhotoCamera() = default;
  // A pinhole camera looking at (altitude, azimuth) with `focalPixels` the
  // focal length in pixels of a width x height image; the image centre is at
  // (width / 2, height / 2).
  static PhotoCamera pinhole(double altitude, double azimuth, double focalPixels, int width,
                             int height);
  // A lens camera for the prepared `lens` (not owned: it must outlive the
  // camera and every copy of it) turned by `rotation` (world to camera frame,
  // see photoRotation), whose current image has currentWidth x
  // currentHeight pixels (both positive).
  static PhotoCamera lensCamera(const LensModel* lens, const Mat3& rotation, int currentWidth,
                                int currentHeight);

  // The lens of a lens camera; nullptr for a pinhole camera.
  const LensModel* lens() const { return lens_; }

  const CameraAxes& axes() const { return axes_; }
  double focalPixels() const { return focal_; }
  double halfWidth() const { return halfWidth_; }
  double halfHeight() const { return halfHeight_; }
  // The bounds project() tests positions against: column < lastColumn() and
  // row < lastRow().
  double lastColumn() const { return lastColumn_; }
  double lastRow() const { return lastRow_; }

  // The position of the ray (a, b, e), given along the camera's own axes;
  // false when the camera does not see it or the position falls outside the
  // sampled pixels (also for NaN).
  bool project(double a, double b, double e, double* column, double* row) const {
    if (lens_ != nullptr) [[unlikely]] {
      double fullColumn = 0.0;
      double fullRow = 0.0;
      return projectThroughLens(a, b, e, column, row, &fullColumn, &fullRow);
    }
    if (!(e > 0.0)) {
      return false;
    }
    const double q = focal_ / e;
    *column = halfWidth_ + a * q;
    *row = halfHeight_ + b * q;
    return *column >= 0.0 && *column < lastColumn_ && *row >= 0.0 && *row < lastRow_;
  }

  // project() of a lens camera that also gives the position in the full-size
  // picture (*fullColumn, *fullRow), where the lens' blending weight, masks
  // and brightness tables are looked up. Only for lens cameras.
  bool projectThroughLens(double a, double b, double e, double* column, double* row,
                          double* fullColumn, double* fullRow) const {
    if (!directionToPixel(*lens_, Vec3{a, -b, e}, fullColumn, fullRow)) {
      return false;
    }
    // The full-size position truncates into the picture; scaled, it may round
    // onto the far edge, which is moved back inside.
    *column = *fullColumn * toCurrentX_;
    *row = *fullRow * toCurrentY_;
    if (!(*column < currentWidth_)) {
      *column = lastColumn_;
    }
    if (!(*row < currentHeight_)) {
      *row = lastRow_;
    }
    return true;
  }

  // project() for a ray in world coordinates.
  bool toPixel(const Vec3& ray, double* column, double* row) const {
    return project(dot(ray, axes_.right), dot(ray, axes_.down), dot(ray, axes_.forward), column,
                   row);
  }

  // The world ray through the image position (column, row) of a pinhole
  // camera (not normalised: its component along `forward` is the focal
  // length in pixels).
  Vec3 rayThrough(double column, double row) const;
  // The unit world direction that position (column, row) of the current
  // image shows, for either mode; false where a lens camera's picture shows
  // no direction (see pixelToDirection; crop and masks are not tested).
  bool directionThrough(double column, double row, Vec3* direction) const;

 private:
  CameraAxes axes_;
  Vec3 up_;  // -down, kept as computed so that rays are formed exactly as ever
  double focal_ = 0.0;
  double halfWidth_ = 0.0;
  double halfHeight_ = 0.0;
  double lastColumn_ = 0.0;  // pinhole: width - 1; lens: the largest double below the width
  double lastRow_ = 0.0;
  // Lens cameras only.
  const LensModel* lens_ = nullptr;
  Mat3 rotation_;
  double toCurrentX_ = 1.0;  // current width / full width
  double toCurrentY_ = 1.0;
  double currentWidth_ = 0.0;
  double currentHeight_ = 0.0;
};
