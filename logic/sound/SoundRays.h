#pragma once

#include <algorithm>
#include <cmath>

#include "base/Constants.h"
#include "camera/Frame.h"

// How the pixels of a view become rays and the rays cells of a sound grid:
// the one mapping that the sound image, the value under the pointer and the
// peak marker share, so that they can never disagree. World frame, angles and
// millimetres as in camera/Frame.h.

// The rays through the pixels of a view. Pixel (column j, row i) looks along
//   (pitch j - hx) right + (hy - pitch i) up + f forward
// (not normalised): the ray through the pixel's top-left corner, so that
// pixel (width / 2, height / 2) looks exactly along the viewing direction.
struct ViewRays {
  double fx, fy, fz;  // centre of the image plane, f along the view direction
  double ux, uy, uz;  // image right
  double vx, vy, vz;  // image up
  double f;           // focal length in millimetres
  double pitch;       // millimetres per pixel
  double hx, hy;      // half the plane's width and height in millimetres
  int width, height;  // pixels
};

// The rays of a view of width x height pixels of `pitch` millimetres looking
// at (altitude, azimuth) in radians with the focal length f in millimetres.
ViewRays viewRays(double altitude, double azimuth, double f, int width, int height,
                  double pitch);

// The ray through pixel (column, row); pixels outside the view give the rays
// of the plane's continuation.
inline Vec3 pixelRay(const ViewRays& g, int column, int row) {
  const double y = -(g.pitch * row - g.hy);
  const double x = g.pitch * column - g.hx;
  return {x * g.ux + g.fx + y * g.vx, x * g.uy + g.fy + y * g.vy, x * g.uz + g.fz + y * g.vz};
}

// The direction of ray q (any length): its altitude (0 straight down ... pi
// straight up) and its azimuth in [0, 2 pi] (-0 may round up to 2 pi). A ray
// without a direction (zero, NaN or infinite components) gives NaN.
inline void rayAngles(const Vec3& q, double* altitude, double* azimuth) {
  const double len = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z);
  // Rounding may put the cosine marginally outside [-1, 1].
  const double cosine = std::clamp(q.y / len, -1.0, 1.0);
  *altitude = kPi - std::acos(cosine);
  double alpha = std::atan2(q.x, q.z);
  if (alpha < 0.0) {
    alpha += kTwoPi;
  }
  *azimuth = alpha;
}

// The cell of a grid of rows x cols cells over the sphere that the direction
// (altitude, azimuth) from rayAngles falls in: rows of pi / rows from
// straight up (row 0) down, columns of 2 pi / cols from azimuth 0 on. The
// straight-down ray (row = rows) and an azimuth of 2 pi (col = cols) are kept
// on the last cell. False for NaN angles (a ray without a direction), which a
// clamp would let through as a NaN index.
inline bool angleCell(double altitude, double azimuth, int rows, int cols, int* row, int* col) {
  const double rowValue = std::floor((rows * (kPi - altitude)) / kPi);
  const double colValue = std::floor((cols * azimuth) / kTwoPi);
  if (!std::isfinite(rowValue) || !std::isfinite(colValue)) {
    return false;
  }
  *row = static_cast<int>(std::clamp(rowValue, 0.0, rows - 1.0));
  *col = static_cast<int>(std::clamp(colValue, 0.0, cols - 1.0));
  return true;
}

// rayAngles and angleCell in one: the cell ray q falls in.
inline bool rayCell(const Vec3& q, int rows, int cols, int* row, int* col) {
  double altitude = 0.0;
  double azimuth = 0.0;
  rayAngles(q, &altitude, &azimuth);
  return angleCell(altitude, azimuth, rows, cols, row, col);
}

// The direction through the centre of cell (row, col) of a rows x cols grid:
// altitude pi - (row + 1/2) pi / rows, azimuth (col + 1/2) 2 pi / cols, in
// radians.
void cellCentre(int row, int col, int rows, int cols, double* altitude, double* azimuth);

// The position in the view's pixels (continuous: the pixel whose corner ray
// it is has the integer part) of the direction (altitude, azimuth) in
// radians. False when the direction lies behind the camera, outside
// [0, width) x [0, height), or the view has no direction (NaN).
bool directionPixel(const ViewRays& g, double altitude, double azimuth, double* column,
                    double* row);
