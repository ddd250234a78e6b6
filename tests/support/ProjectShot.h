#pragma once

#include <string>

#include "SampleProject.h"

// A photograph of a stitcher project made by the sample maker: `lens` turned
// by yaw, pitch and roll (degrees), written as `file`; everything else at its
// default.
inline ProjectPhoto projectShot(const Lens& lens, double yaw, double pitch, double roll,
                                const std::string& file = "") {
  ProjectPhoto photo;
  photo.lens = lens;
  photo.yaw = yaw;
  photo.pitch = pitch;
  photo.roll = roll;
  photo.fileName = file;
  return photo;
}
