#pragma once

#include "camera/Frame.h"
#include "camera/LensModel.h"

// The per-pixel functions of a prepared lens (frames and positions as in
// camera/LensModel.h). None allocates; all are safe to call from many
// threads on one model.

// Image position (pixels) of the camera-frame direction q (any length > 0
// whose squared components do not overflow), before any visibility test but
// the projection's own: false behind a rectilinear camera, at the poles of a cylinder, beyond the
// orthographic hemisphere, straight behind a fisheye, or where the
// distortion polynomial stops increasing. Wrapping pictures return columns
// in [0, width).
bool projectToImage(const LensModel& model, const Vec3& q, double* column, double* row);

// Whether the photograph shows position (column, row): inside the crop
// rectangle (and the fisheye circle), not inside a hiding mask (type 0, 4).
// Positions within 1e-6 pixel outside the rectangle are moved onto it (so a
// picture's far edges, the seam and the poles of a 360-degree photograph
// count as seen); a position that passes always truncates to a pixel inside
// the picture.
bool seesPosition(const LensModel& model, double* column, double* row);

// projectToImage followed by seesPosition: false whenever the photograph
// does not see the direction.
inline bool directionToPixel(const LensModel& model, const Vec3& q, double* column, double* row) {
  return projectToImage(model, q, column, row) && seesPosition(model, column, row);
}

// Whether position (column, row) lies inside one of the photograph's include
// masks (type 1): there the photograph hides every other one. False when it
// has none.
bool insideIncludeMask(const LensModel& model, double column, double row);

// The unit camera-frame direction that the image position (column, row)
// shows, for any position (no crop or mask test): false where no direction
// maps there (beyond the range where the distortion is increasing, beyond a
// fisheye's possible radius, beyond +-90 degrees of an equirectangular
// picture's rows or +-180 degrees of a non-wrapping one's columns).
// Distortion is inverted by safeguarded Newton steps to about 1e-15 of the
// radius.
bool pixelToDirection(const LensModel& model, double column, double row, Vec3* q);

// Angle (radians) from the optical axis of a radius (pixels, without
// distortion) in the picture, for the projections symmetric around the axis
// (all but cylindrical and equirectangular, which get pi); radii beyond a
// projection's reach give its largest angle.
double angleAtRadius(const LensModel& model, double radius);

// Blending weight of image position (column, row), in (0, 1]:
//   w = 1e-3 + (1 - 1e-3) * s(tx) * s(ty),   s(t) = t^2 (3 - 2t),
// where for a rectangle tx = (distance to the nearer left/right border) /
// (half the crop width) and ty likewise for rows, each clamped into [0, 1];
// edges that are not borders (the wrap seam of a full turn, an
// equirectangular picture's pole row) do not count (ty then runs from the
// remaining border to the opposite edge, or is 1). For a fisheye circle
// tx = 1 - angle(distance from the circle's centre) / angle(its radius),
// ty = 1, so the weight falls in angle and the rim gets the lowest weights.
// Masks are ignored. Positions outside get 1e-3.
double blendWeight(const LensModel& model, double column, double row);
