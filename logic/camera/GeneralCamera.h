#pragma once

#include <string>

#include "camera/LensModel.h"
#include "camera/Photometric.h"

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
};

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
