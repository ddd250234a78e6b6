#include "camera/LensDistortion.h"

#include <algorithm>
#include <cmath>

namespace {

// Smallest rho > 0 where the slope of p reaches 0, searched up to `limit`
// (returned when the slope stays positive). The slope is a cubic; it is
// monotone between the roots of its own derivative, so each such piece holds
// at most one root, which bisection finds.
double firstSlopeRoot(const LensModel& m, double limit) {
  const Lens& l = m.lens;
  double breaks[3];
  int count = 0;
  // Roots of 12 a rho^2 + 6 b rho + 2 c.
  const double qa = 12.0 * l.a;
  const double qb = 6.0 * l.b;
  const double qc = 2.0 * l.c;
  if (qa != 0.0) {
    const double disc = qb * qb - 4.0 * qa * qc;
    if (disc >= 0.0) {
      const double root = std::sqrt(disc);
      breaks[count++] = (-qb - root) / (2.0 * qa);
      breaks[count++] = (-qb + root) / (2.0 * qa);
    }
  } else if (qb != 0.0) {
    breaks[count++] = -qc / qb;
  }
  breaks[count++] = limit;
  std::sort(breaks, breaks + count);
  double lo = 0.0;
  for (int i = 0; i < count; ++i) {
    const double hi = std::min(breaks[i], limit);
    if (hi <= lo) continue;
    if (distortedRhoSlope(m, hi) <= 0.0) {
      double a = lo;
      double b = hi;
      for (int k = 0; k < 200 && b - a > 1e-15 * b; ++k) {
        const double mid = 0.5 * (a + b);
        (distortedRhoSlope(m, mid) > 0.0 ? a : b) = mid;
      }
      return a;
    }
    lo = hi;
  }
  return limit;
}

}  // namespace

double increasingRangeEnd(const LensModel& m, double target) {
  double limit = target;
  while (distortedRho(m, limit) < target && limit < 1e12) limit *= 2.0;
  return firstSlopeRoot(m, limit);
}

double undistortRho(const LensModel& m, double rhoDistorted) {
  double lo = 0.0;
  double hi = m.rhoMax;
  double rho = std::min(rhoDistorted, 0.5 * (lo + hi));
  for (int i = 0; i < 60; ++i) {
    const double value = distortedRho(m, rho) - rhoDistorted;
    if (value == 0.0) return rho;
    (value > 0.0 ? hi : lo) = rho;
    double next = rho - value / distortedRhoSlope(m, rho);
    if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
    if (std::fabs(next - rho) <= 1e-15 * std::max(1.0, rho)) return next;
    rho = next;
  }
  return rho;
}
