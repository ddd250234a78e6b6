#include "camera/LensMapping.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/Constants.h"
#include "camera/LensDistortion.h"

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// How far outside the usable rectangle a position may fall by rounding and
// still count as on its edge, pixels.
constexpr double kEdgeSlack = 1e-6;
// Angular slack for the ends of an equirectangular or cylindrical picture.
constexpr double kAngleSlack = 1e-9;
constexpr double kWeightFloor = 1e-3;

double smooth(double t) {
  t = std::clamp(t, 0.0, 1.0);
  return t * t * (3.0 - 2.0 * t);
}

bool insidePolygon(const PixelPoint* p, int n, double x, double y) {
  bool inside = false;
  for (int i = 0, j = n - 1; i < n; j = i++) {
    if ((p[i].y > y) != (p[j].y > y) &&
        x < (p[j].x - p[i].x) * (y - p[i].y) / (p[j].y - p[i].y) + p[i].x) {
      inside = !inside;
    }
  }
  return inside;
}

}  // namespace

double angleAtRadius(const LensModel& m, double radius) {
  const double f = m.f;
  switch (m.lens.projection) {
    case Projection::Rectilinear:
      return std::atan(radius / f);
    case Projection::CircularFisheye:
    case Projection::FullFrameFisheye:
      return std::min(kPi, radius / f);
    case Projection::Orthographic:
      return radius >= f ? kPi / 2 : std::asin(radius / f);
    case Projection::Stereographic:
      return 2.0 * std::atan(radius / (2.0 * f));
    case Projection::Equisolid:
      return radius >= 2.0 * f ? kPi : 2.0 * std::asin(radius / (2.0 * f));
    default:
      return kPi;
  }
}

bool projectToImage(const LensModel& m, const Vec3& q, double* column, double* row) {
  const double f = m.f;
  double x = 0.0;
  double y = 0.0;
  switch (m.lens.projection) {
    case Projection::Rectilinear: {
      if (!(q.z > 0.0)) return false;
      const double k = f / q.z;
      x = k * q.x;
      y = -k * q.y;
      break;
    }
    case Projection::Cylindrical: {
      const double h = std::sqrt(q.x * q.x + q.z * q.z);
      if (!(h > 0.0)) return false;
      x = f * std::atan2(q.x, q.z);
      y = -f * q.y / h;
      break;
    }
    case Projection::Equirectangular: {
      const double h = std::sqrt(q.x * q.x + q.z * q.z);
      if (!(h > 0.0 || q.y != 0.0)) return false;
      x = f * std::atan2(q.x, q.z);
      y = -f * std::atan2(q.y, h);
      break;
    }
    default: {
      // Fisheyes: radius R(theta) along the image direction (q.x, -q.y).
      const double s = std::sqrt(q.x * q.x + q.y * q.y);
      if (!(s > 0.0)) {
        if (!(q.z > 0.0)) return false;  // straight behind or no direction at all
        break;                           // the centre
      }
      const double n = std::sqrt(s * s + q.z * q.z);
      double k = 0.0;  // R / s
      switch (m.lens.projection) {
        case Projection::Orthographic:
          if (q.z < 0.0) return false;
          k = f / n;
          break;
        case Projection::Stereographic:
          k = 2.0 * f / (n + q.z);
          break;
        case Projection::Equisolid:
          k = q.z >= 0.0 ? 2.0 * f / std::sqrt(2.0 * n * (n + q.z))
                         : 2.0 * f * std::sqrt((n - q.z) / (2.0 * n)) / s;
          break;
        default:
          k = f * std::atan2(s, q.z) / s;
          break;
      }
      if (!std::isfinite(k)) return false;
      x = k * q.x;
      y = -k * q.y;
      break;
    }
  }
  if (m.distorted) {
    // The factor a rho^3 + b rho^2 + c rho + d0 as (a rho^2 + c) rho +
    // (b rho^2 + d0): both brackets are formed while the square root is
    // taken, so that only one multiply and add wait for it (this runs for
    // every view pixel a photograph may cover).
    const Lens& l = m.lens;
    const double rhoSquared = (x * x + y * y) * (m.invNorm * m.invNorm);
    const double even = l.b * rhoSquared + m.d0;
    const double odd = l.a * rhoSquared + l.c;
    const double rho = std::sqrt(rhoSquared);
    if (!(rho < m.rhoMax)) return false;
    const double factor = odd * rho + even;
    x *= factor;
    y *= factor;
  }
  double c = x + m.centreX;
  const double r = y + m.centreY;
  if (!std::isfinite(c) || !std::isfinite(r)) return false;  // a direction not a number
  if (m.wraps) {
    const double w = m.lens.width;
    c -= w * std::floor(c / w);
    if (c >= w) c = 0.0;
  }
  *column = c;
  *row = r;
  return true;
}

bool seesPosition(const LensModel& m, double* column, double* row) {
  double c = *column;
  double r = *row;
  if (c < m.left) {
    if (!(c >= m.left - kEdgeSlack)) return false;
    c = m.left;
  } else if (!(c < m.right)) {
    if (!(c < m.right + kEdgeSlack)) return false;
    c = std::nextafter(m.right, -kInfinity);
  }
  if (r < m.top) {
    if (!(r >= m.top - kEdgeSlack)) return false;
    r = m.top;
  } else if (!(r < m.bottom)) {
    if (!(r < m.bottom + kEdgeSlack)) return false;
    r = std::nextafter(m.bottom, -kInfinity);
  }
  if (m.circle) {
    const double dx = c - m.circleX;
    const double dy = r - m.circleY;
    if (dx * dx + dy * dy > m.circleRadiusSquared) return false;
  }
  for (const MaskPolygon& p : m.masks) {
    if (p.include || c < p.minX || c > p.maxX || r < p.minY || r > p.maxY) continue;
    if (insidePolygon(m.maskPoints.data() + p.first, p.count, c, r)) return false;
  }
  *column = c;
  *row = r;
  return true;
}

bool pixelToDirection(const LensModel& m, double column, double row, Vec3* q) {
  double x = column - m.centreX;
  double y = row - m.centreY;
  if (!std::isfinite(x) || !std::isfinite(y)) return false;
  if (m.distorted) {
    const double rhoDistorted = std::sqrt(x * x + y * y) * m.invNorm;
    if (!(rhoDistorted < m.rhoDistortedMax)) return false;
    if (rhoDistorted > 0.0) {
      const double factor = undistortRho(m, rhoDistorted) / rhoDistorted;
      x *= factor;
      y *= factor;
    }
  }
  const double f = m.f;
  switch (m.lens.projection) {
    case Projection::Rectilinear: {
      const double n = std::sqrt(x * x + y * y + f * f);
      *q = {x / n, -y / n, f / n};
      return true;
    }
    case Projection::Cylindrical: {
      const double phi = x * m.invF;
      if (!m.wraps && std::fabs(phi) > kPi + kAngleSlack) return false;
      const double up = -y * m.invF;
      const double n = std::sqrt(1.0 + up * up);
      *q = {std::sin(phi) / n, up / n, std::cos(phi) / n};
      return true;
    }
    case Projection::Equirectangular: {
      const double phi = x * m.invF;
      double lambda = -y * m.invF;
      if (!m.wraps && std::fabs(phi) > kPi + kAngleSlack) return false;
      if (std::fabs(lambda) > kPi / 2 + kAngleSlack) return false;
      lambda = std::clamp(lambda, -kPi / 2, kPi / 2);
      *q = {std::cos(lambda) * std::sin(phi), std::sin(lambda), std::cos(lambda) * std::cos(phi)};
      return true;
    }
    default:
      break;
  }
  const double radius = std::sqrt(x * x + y * y);
  double theta = 0.0;
  switch (m.lens.projection) {
    case Projection::Orthographic:
      if (radius > f) return false;
      theta = std::asin(radius * m.invF);
      break;
    case Projection::Stereographic:
      theta = 2.0 * std::atan(radius / (2.0 * f));
      break;
    case Projection::Equisolid:
      if (radius > 2.0 * f) return false;
      theta = 2.0 * std::asin(radius / (2.0 * f));
      break;
    default:
      theta = radius * m.invF;
      if (theta > kPi) return false;
      break;
  }
  if (radius == 0.0) {
    *q = {0.0, 0.0, 1.0};
    return true;
  }
  const double k = std::sin(theta) / radius;
  *q = {k * x, -k * y, std::cos(theta)};
  return true;
}

bool insideIncludeMask(const LensModel& m, double column, double row) {
  if (!m.hasInclude) return false;
  for (const MaskPolygon& p : m.masks) {
    if (!p.include || column < p.minX || column > p.maxX || row < p.minY || row > p.maxY) {
      continue;
    }
    if (insidePolygon(m.maskPoints.data() + p.first, p.count, column, row)) return true;
  }
  return false;
}

double blendWeight(const LensModel& m, double column, double row) {
  double tx = 1.0;
  double ty = 1.0;
  if (m.circle) {
    const double dx = column - m.circleX;
    const double dy = row - m.circleY;
    const double distance = std::sqrt(dx * dx + dy * dy);
    if (m.lens.projection == Projection::Orthographic) {
      const double rim = angleAtRadius(m, m.circleRadius);
      tx = 1.0 - angleAtRadius(m, distance) / rim;
    } else {
      tx = 1.0 - distance / m.circleRadius;
    }
  } else {
    if (m.borderLeftRight) {
      tx = std::min(column - m.left, m.right - column) / (0.5 * (m.right - m.left));
    }
    const double height = m.bottom - m.top;
    if (m.borderTop && m.borderBottom) {
      ty = std::min(row - m.top, m.bottom - row) / (0.5 * height);
    } else if (m.borderTop) {
      ty = (row - m.top) / height;
    } else if (m.borderBottom) {
      ty = (m.bottom - row) / height;
    }
  }
  if (!(tx > 0.0) || !(ty > 0.0)) return kWeightFloor;
  return kWeightFloor + (1.0 - kWeightFloor) * smooth(tx) * smooth(ty);
}
