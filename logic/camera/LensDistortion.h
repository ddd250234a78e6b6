#pragma once

#include "camera/LensModel.h"

// The radial distortion of a prepared lens as a map of normalised radii,
// rho = radius in pixels * model.invNorm (1 at half the picture's shorter
// side): p(rho) = rho (a rho^3 + b rho^2 + c rho + d0) takes the radius a
// direction would have without distortion to its radius in the picture.

// p(rho).
inline double distortedRho(const LensModel& m, double rho) {
  const Lens& l = m.lens;
  return (((l.a * rho + l.b) * rho + l.c) * rho + m.d0) * rho;
}

// p'(rho).
inline double distortedRhoSlope(const LensModel& m, double rho) {
  const Lens& l = m.lens;
  return ((4.0 * l.a * rho + 3.0 * l.b) * rho + 2.0 * l.c) * rho + m.d0;
}

// End of the range [0, end) where p increases (m.d0 > 0 and the
// coefficients set): the first rho > 0 where p' reaches 0, or, when p is
// still increasing there, the first of target, 2 target, 4 target, ... where
// p has reached `target`.
double increasingRangeEnd(const LensModel& m, double target);

// The rho in [0, m.rhoMax) with p(rho) = rhoDistorted, for 0 <= rhoDistorted
// < m.rhoDistortedMax: Newton steps from rhoDistorted, kept inside a
// shrinking bracket (bisection whenever a step would leave it), to about
// 1e-15 of rho.
double undistortRho(const LensModel& m, double rhoDistorted);
