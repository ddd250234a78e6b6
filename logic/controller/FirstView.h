#pragma once

#include <memory>
#include <vector>

#include "camera/CamData.h"

class Picture;

// Choosing the photographs whose full-size decode at the open is kept for
// the first refinement, which follows the open at once: those are then read
// from their files once instead of twice.

// Angle in radians between the view's axis and a photograph's axis beyond
// which the two cannot overlap: the half diagonals of both fields plus a
// margin of two degrees. A photograph without a usable focal length spans
// a half diagonal of 90 degrees.
double overlapReachOf(const CamData& camera, const Picture& photo);

// Sets keepFullDecode on at most `maxKept` photographs of the XML
// description (lens photographs are left alone) whose axis is within
// overlapReachOf the camera's, the nearest first, and returns them.
std::vector<Picture*> keepDecodesForView(const CamData& camera,
                                         const std::vector<std::unique_ptr<Picture>>& pictures,
                                         int maxKept);
