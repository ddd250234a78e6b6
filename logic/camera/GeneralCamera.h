#pragma once

#include <string>
#include <vector>

#include "camera/LensModel.h"
#include "camera/Photometric.h"

// A position of a photograph (pixels) and the unit camera-frame direction it
// shows.
struct LensSample {
  double column = 0.0;
  double row = 0.0;
  Vec3 direction;
};

// The camera of a photograph that is not a pinhole of the XML description: a
// stitcher project's photograph or a 360-degree photograph. Made once when
// the panorama is opened; read-only afterwards and shared between threads.
struct GeneralCamera {
  LensModel lens;  // projection, distortion, shift, crop and masks
  Mat3 rotation;   // this viewer's world frame to the camera frame
  Vec3 axis;       // the optical axis in the world frame (unit length)
  // Brightness correction to the panorama's output exposure; skipped when
  // it changes nothing.
  PhotometricCorrection brightness;
  bool correctsBrightness = false;
  // Samples for the overlap tests (geometry/SampledOverlap.h), made once so
  // that no view inverts the distortion for them again: the cell centres of
  // kLensGridCells x kLensGridCells cells over the usable rectangle that lie
  // in the usable area and show a direction, the smallest angle between grid
  // neighbours (each cell taking the larger of its two steps), and the
  // usable area's outline (the rectangle's edges inside the fisheye circle,
  // the circle inside the rectangle) as runs of neighbouring samples.
  std::vector<LensSample> grid;
  double gridAngle = 3.141592653589793;
  std::vector<std::vector<LensSample>> outline;
};

// Grid cells along each side of a lens photograph's overlap grid, and
// samples along each edge of its outline (a circle gets four times as many).
constexpr int kLensGridCells = 12;
constexpr int kLensOutlineSamples = 128;

// Whether position (column, row) lies in the usable rectangle (and circle)
// of `lens`, give or take `slack` pixels; masks are not looked at.
bool insideUsableArea(const LensModel& lens, double column, double row, double slack);

// Prepares `lens` (see prepareLens), orients it with the project's yaw,
// pitch and roll in degrees (see photoRotation) and builds the brightness
// tables for `photometric` shown at `outputExposure`. False with an English
// reason in *error (and *camera unchanged) when the lens or the brightness
// values are unusable or an angle is not finite.
bool makeGeneralCamera(const Lens& lens, double yawDegrees, double pitchDegrees,
                       double rollDegrees, const PhotometricParams& photometric,
                       double outputExposure, GeneralCamera* camera, std::string* error);

// The angle (degrees) that the longer side of the photograph spans through
// its centre: the field of view scaled by longer side / width (exact for
// cylindrical and equirectangular pictures, close for the others), at most 360.
double longerSideDegrees(const Lens& lens);
