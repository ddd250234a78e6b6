#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "camera/CamData.h"

class Picture;
struct GeneralCamera;

// Choosing the photographs whose decode at the open is kept for the first
// refinement, which follows the open at once: those are then read from
// their files once instead of twice, and kept at the size the refinement
// will load them at.

// Angle in radians between the view's axis and a photograph's axis beyond
// which the two cannot overlap: the half diagonals of both fields plus a
// margin of two degrees. A photograph without a usable focal length spans
// a half diagonal of 90 degrees.
double overlapReachOf(const CamData& camera, const Picture& photo);

// The same for a lens photograph (of a stitcher project or a 360-degree
// photograph): the view's half diagonal plus the radius of the cone that
// holds every direction the photograph sees, plus the margin.
double lensReachOf(const CamData& camera, const GeneralCamera& photo);

// Sets keepDecodeAt on the photographs whose axis is within overlapReachOf
// (lensReachOf for lens photographs) the camera's and which overlap its
// view: the scale the first refinement's load will ask for. The nearest go
// first, as long as the kept images stay within `maxKeptBytes` together.
// Returns them.
std::vector<Picture*> keepDecodesForView(const CamData& camera,
                                         const std::vector<std::unique_ptr<Picture>>& pictures,
                                         std::size_t maxKeptBytes);
