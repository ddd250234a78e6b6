#pragma once

#include "camera/LensModel.h"

// A lens of `projection` for photographs of width x height pixels that see
// `v` degrees across their width; everything else (distortion, shift, crop,
// masks) at its default.
inline Lens makeLens(Projection projection, int width, int height, double v) {
  Lens lens;
  lens.projection = projection;
  lens.width = width;
  lens.height = height;
  lens.hfovDegrees = v;
  return lens;
}
