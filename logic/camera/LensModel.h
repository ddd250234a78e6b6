#pragma once

#include <string>
#include <vector>

#include "camera/Frame.h"

// The camera model of a photograph in a stitcher project or of a 360-degree
// photograph: its orientation, its projection, radial distortion, centre
// shift, crop and masks.
//
// Three frames meet here:
// - this viewer's world frame (camera/Frame.h): the start view (azimuth 0,
//   altitude pi/2) looks along +z, image right is -x, image up is +y;
// - the stitcher's world frame: X right, Y up, Z forward at yaw 0, pitch 0.
//   It is this viewer's frame with x mirrored: (X, Y, Z) = (-x, y, z). That
//   one mirror is the whole conversion (it makes azimuth = -yaw and
//   altitude = pi/2 + pitch) and lives in photoRotation alone;
// - a photograph's camera frame: x towards the image's right, y towards its
//   top, z along the optical axis.
// Image positions are in pixels from the photograph's top-left corner,
// column to the right, row downwards; pixel (c, r) covers [c, c+1) x [r, r+1),
// so its centre is at (c + 0.5, r + 0.5) and truncating a position gives the
// pixel that holds it.
//
// This header holds the records, the orientation and the preparation of a
// lens; the per-pixel functions are in camera/LensMapping.h.

// Projection of a photograph, numbered as in the project file's `f` token.
enum class Projection {
  Rectilinear = 0,
  Cylindrical = 1,
  CircularFisheye = 2,
  FullFrameFisheye = 3,
  Equirectangular = 4,
  Orthographic = 8,
  Stereographic = 10,
  Equisolid = 21,
};

// The projection with project-file code `code`; false for any other code.
bool projectionFromCode(int code, Projection* projection);

struct PixelPoint {
  double x = 0.0;  // column position, pixels
  double y = 0.0;  // row position, pixels
};

// A polygon mask in the photograph's pixel positions (at least 3 points), as
// the stitcher applies them:
// - type 0 hides the inside; so does type 4 (the project gives it for one
//   photograph and means every photograph of that lens: the loader copies
//   it to each);
// - type 1 ("include") does NOT hide the rest of its own photograph: where
//   its inside is seen, the other photographs are hidden (the photograph
//   wins there). seesPosition ignores it; callers that combine photographs
//   ask insideIncludeMask;
// - types 2 and 3 (exposure stack masks) have no meaning for a single
//   exposure and are ignored.
struct LensMask {
  int type = 0;
  std::vector<PixelPoint> points;
};

// A photograph's lens and picture as a project describes them.
struct Lens {
  int width = 0;   // pixels
  int height = 0;  // pixels
  Projection projection = Projection::Rectilinear;
  double hfovDegrees = 51.0;  // across the full width
  double a = 0.0;             // radial distortion
  double b = 0.0;
  double c = 0.0;
  double d = 0.0;  // the optical axis lands at column width/2 + d
  double e = 0.0;  // and at row height/2 + e
  // Crop rectangle in pixel positions: columns [cropLeft, cropRight), rows
  // [cropTop, cropBottom). Without it the whole picture is used. For circular
  // and orthographic fisheyes the usable area is the circle inscribed in the
  // crop rectangle (or in the whole picture: the stitcher itself uses the
  // whole rectangle then, but such a picture is black outside its circle).
  bool cropped = false;
  double cropLeft = 0.0;
  double cropRight = 0.0;
  double cropTop = 0.0;
  double cropBottom = 0.0;
  std::vector<LensMask> masks;
};

// A 3x3 matrix, rows first.
struct Mat3 {
  double m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
};

// The orientation of a photograph with the project's yaw, pitch and roll in
// degrees (+yaw turns right, +pitch looks up, +roll turns the picture
// clockwise): the matrix takes a direction in this viewer's world frame to
// the photograph's camera frame, q = Rz(roll) Rx(pitch) Ry(-yaw) M v with M
// the mirror x -> -x between the two worlds. It is orthogonal (a rotation
// times a mirror), so its transpose takes the camera frame back.
Mat3 photoRotation(double yawDegrees, double pitchDegrees, double rollDegrees);

// The inverse of photoRotation: yaw, pitch and roll in degrees with
// photoRotation(*yaw, *pitch, *roll) equal to `rotation` (a matrix of that
// form: a rotation times the mirror), yaw and roll in [-180, 180], pitch in
// [-90, 90]. Looking straight up or down (pitch +-90), where yaw and roll
// turn about the same axis, the yaw is 0 and the roll takes the whole turn.
void photoAngles(const Mat3& rotation, double* yawDegrees, double* pitchDegrees,
                 double* rollDegrees);

// The orientation of a photograph (world to camera frame, as photoRotation)
// in a world turned so that the camera `view` (the same kind of matrix)
// becomes the start view: photoAngles of the result are the photograph's yaw,
// pitch and roll as seen from `view`, whose own are all 0.
Mat3 rotationSeenFrom(const Mat3& photo, const Mat3& view);

// rotation * v: a world direction in the camera frame (lengths kept).
inline Vec3 worldToCamera(const Mat3& rotation, const Vec3& v) {
  const auto& m = rotation.m;
  return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z,
          m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
          m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
}

// transpose(rotation) * q: a camera-frame direction in the world frame.
inline Vec3 cameraToWorld(const Mat3& rotation, const Vec3& q) {
  const auto& m = rotation.m;
  return {m[0][0] * q.x + m[1][0] * q.y + m[2][0] * q.z,
          m[0][1] * q.x + m[1][1] * q.y + m[2][1] * q.z,
          m[0][2] * q.x + m[1][2] * q.y + m[2][2] * q.z};
}

// One mask polygon inside LensModel::maskPoints, with its bounding box.
struct MaskPolygon {
  int first = 0;  // index of the first point
  int count = 0;
  bool include = false;
  double minX = 0.0;
  double maxX = 0.0;
  double minY = 0.0;
  double maxY = 0.0;
};

// A lens with everything the per-pixel functions need worked out once.
// Filled by prepareLens; read-only afterwards, safe to share between threads.
struct LensModel {
  Lens lens;
  double f = 0.0;  // the projection's scale F, pixels
  double invF = 0.0;
  double centreX = 0.0;  // optical centre position, w/2 + d
  double centreY = 0.0;  // h/2 + e
  // Distortion: radius factor a rho^3 + b rho^2 + c rho + d0 with
  // rho = radius * invNorm (half the shorter side is 1); used only for
  // rho < rhoMax (undistorted) or rhoDistorted < rhoDistortedMax (in the
  // image): rhoMax is where rho * factor stops increasing, or where it has
  // reached four times the picture's corner radius if that comes first.
  bool distorted = false;
  double d0 = 1.0;
  double invNorm = 0.0;
  double rhoMax = 0.0;
  double rhoDistortedMax = 0.0;
  // The usable rectangle, positions [left, right) x [top, bottom).
  double left = 0.0;
  double right = 0.0;
  double top = 0.0;
  double bottom = 0.0;
  // Circle of circular and orthographic fisheyes.
  bool circle = false;
  double circleX = 0.0;
  double circleY = 0.0;
  double circleRadius = 0.0;
  double circleRadiusSquared = 0.0;
  // A full turn across the width (cylindrical or equirectangular with
  // v >= 360): columns wrap around modulo the width.
  bool wraps = false;
  // Blending: which rectangle edges are borders (a pole or a wrap seam is not).
  bool borderLeftRight = true;
  bool borderTop = true;
  bool borderBottom = true;
  std::vector<PixelPoint> maskPoints;
  std::vector<MaskPolygon> masks;
  bool hasInclude = false;  // any include mask (type 1)
  double coverage = 0.0;    // radians, see coverageRadius
};

// Checks `lens` and works out its constants. On bad values (sizes not
// positive, field of view outside the projection's range, distortion not
// increasing at the centre, crop outside the picture or empty, a mask with
// fewer than 3 points, anything not finite) returns false with an English
// reason in `error` and leaves `model` unchanged.
bool prepareLens(const Lens& lens, LensModel* model, std::string* error);

// Angular radius (radians, at most pi) of a cone around the optical axis
// (camera +z) that contains every direction the photograph sees: two
// photographs whose axes are further apart than the sum of their radii
// cannot overlap. The axis in the world is cameraToWorld(rotation, {0,0,1}).
inline double coverageRadius(const LensModel& model) { return model.coverage; }
