#include "camera/LensModel.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/Constants.h"

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// How far outside the usable rectangle a position may fall by rounding and
// still count as on its edge, pixels.
constexpr double kEdgeSlack = 1e-6;
// Angular slack for the ends of an equirectangular or cylindrical picture.
constexpr double kAngleSlack = 1e-9;
constexpr double kWeightFloor = 1e-3;

bool isFinite(double v) { return std::isfinite(v); }

Mat3 multiply(const Mat3& a, const Mat3& b) {
  Mat3 r;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
    }
  }
  return r;
}

// The undistorted-to-distorted radius map p(rho) = rho * factor(rho) and its
// derivative, rho normalised by half the shorter side.
double distortedRho(const LensModel& m, double rho) {
  const Lens& l = m.lens;
  return (((l.a * rho + l.b) * rho + l.c) * rho + m.d0) * rho;
}

double distortedRhoSlope(const LensModel& m, double rho) {
  const Lens& l = m.lens;
  return ((4.0 * l.a * rho + 3.0 * l.b) * rho + 2.0 * l.c) * rho + m.d0;
}

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

// The undistorted rho with p(rho) = rhoDistorted, 0 <= rhoDistorted <
// rhoDistortedMax: Newton steps from rhoDistorted, kept inside a shrinking
// bracket (bisection whenever a step would leave it).
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

// Angle from the optical axis of an undistorted image radius (pixels), for
// the projections that are symmetric around the axis.
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

double angleFromAxis(const Vec3& q) { return std::atan2(std::hypot(q.x, q.y), q.z); }

double angleBetween(const Vec3& u, const Vec3& v) {
  return std::atan2(std::sqrt(dot(cross(u, v), cross(u, v))), dot(u, v));
}

// Coverage of cylindrical and equirectangular pictures: the largest angle
// from the axis along the rectangle's border (the angle has no interior
// maximum for these projections), plus the largest step between samples.
double sampledCoverage(const LensModel& m) {
  constexpr int kSamples = 512;
  const double xs[5] = {m.left, m.right, m.right, m.left, m.left};
  const double ys[5] = {m.top, m.top, m.bottom, m.bottom, m.top};
  double largest = 0.0;
  double step = 0.0;
  Vec3 previous;
  bool first = true;
  for (int edge = 0; edge < 4; ++edge) {
    for (int i = 0; i <= kSamples; ++i) {
      const double t = static_cast<double>(i) / kSamples;
      const double x = xs[edge] + t * (xs[edge + 1] - xs[edge]);
      const double y = ys[edge] + t * (ys[edge + 1] - ys[edge]);
      Vec3 q;
      if (!pixelToDirection(m, x, y, &q)) return kPi;
      largest = std::max(largest, angleFromAxis(q));
      if (!first) step = std::max(step, angleBetween(previous, q));
      previous = q;
      first = false;
    }
  }
  return std::min(kPi, largest + step + kAngleSlack);
}

double computeCoverage(const LensModel& m) {
  const Projection p = m.lens.projection;
  if (p == Projection::Cylindrical || p == Projection::Equirectangular) return sampledCoverage(m);
  double reach = 0.0;
  const double xs[2] = {m.left, m.right};
  const double ys[2] = {m.top, m.bottom};
  for (double x : xs) {
    for (double y : ys) reach = std::max(reach, std::hypot(x - m.centreX, y - m.centreY));
  }
  if (m.circle) {
    reach = std::min(reach, std::hypot(m.circleX - m.centreX, m.circleY - m.centreY) +
                                m.circleRadius);
  }
  if (m.distorted) {
    const double rhoDistorted = reach * m.invNorm;
    const double rho =
        rhoDistorted >= m.rhoDistortedMax ? m.rhoMax : undistortRho(m, rhoDistorted);
    reach = rho / m.invNorm;
  }
  return std::min(kPi, angleAtRadius(m, reach) + kAngleSlack);
}

// Whether a horizontal field of view (degrees) suits the projection: F must
// come out finite and positive.
bool fieldOfViewFits(Projection p, double v) {
  if (!std::isfinite(v) || v <= 0.0) return false;
  switch (p) {
    case Projection::Rectilinear:
      return v < 180.0;
    case Projection::Orthographic:
    case Projection::Stereographic:
      return v < 360.0;
    case Projection::Equisolid:
      return v < 720.0;
    case Projection::Cylindrical:
    case Projection::Equirectangular:
      return v <= 720.0;
    default:
      return v <= 3600.0;
  }
}

double scaleF(const Lens& lens) {
  const double w = lens.width;
  const double v = degreesToRadians(lens.hfovDegrees);
  switch (lens.projection) {
    case Projection::Rectilinear:
      return w / (2.0 * std::tan(v / 2.0));
    case Projection::Orthographic:
      return w / (2.0 * std::sin(v / 2.0));
    case Projection::Stereographic:
      return w / (4.0 * std::tan(v / 4.0));
    case Projection::Equisolid:
      return w / (4.0 * std::sin(v / 4.0));
    default:
      return w / v;
  }
}

bool fail(std::string* error, const std::string& reason) {
  if (error) *error = reason;
  return false;
}

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

bool projectionFromCode(int code, Projection* projection) {
  switch (code) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 8:
    case 10:
    case 21:
      *projection = static_cast<Projection>(code);
      return true;
    default:
      return false;
  }
}

Mat3 photoRotation(double yawDegrees, double pitchDegrees, double rollDegrees) {
  const double y = -degreesToRadians(yawDegrees);
  const double p = degreesToRadians(pitchDegrees);
  const double r = degreesToRadians(rollDegrees);
  Mat3 ry;
  ry.m[0][0] = std::cos(y);
  ry.m[0][2] = std::sin(y);
  ry.m[2][0] = -std::sin(y);
  ry.m[2][2] = std::cos(y);
  Mat3 rx;
  rx.m[1][1] = std::cos(p);
  rx.m[1][2] = -std::sin(p);
  rx.m[2][1] = std::sin(p);
  rx.m[2][2] = std::cos(p);
  Mat3 rz;
  rz.m[0][0] = std::cos(r);
  rz.m[0][1] = -std::sin(r);
  rz.m[1][0] = std::sin(r);
  rz.m[1][1] = std::cos(r);
  Mat3 mirror;
  mirror.m[0][0] = -1.0;
  return multiply(rz, multiply(rx, multiply(ry, mirror)));
}

bool prepareLens(const Lens& lens, LensModel* model, std::string* error) {
  if (lens.width <= 0 || lens.height <= 0) {
    return fail(error, "picture size " + std::to_string(lens.width) + " x " +
                           std::to_string(lens.height) + " is not positive");
  }
  Projection checked;
  if (!projectionFromCode(static_cast<int>(lens.projection), &checked)) {
    return fail(error, "unknown projection " + std::to_string(static_cast<int>(lens.projection)));
  }
  if (!fieldOfViewFits(lens.projection, lens.hfovDegrees)) {
    return fail(error, "field of view " + std::to_string(lens.hfovDegrees) +
                           " degrees does not suit projection " +
                           std::to_string(static_cast<int>(lens.projection)));
  }
  if (!isFinite(lens.a) || !isFinite(lens.b) || !isFinite(lens.c) || !isFinite(lens.d) ||
      !isFinite(lens.e)) {
    return fail(error, "distortion or centre shift is not finite");
  }
  LensModel m;
  m.lens = lens;
  m.f = scaleF(lens);
  m.invF = 1.0 / m.f;
  m.centreX = lens.width / 2.0 + lens.d;
  m.centreY = lens.height / 2.0 + lens.e;

  m.distorted = lens.a != 0.0 || lens.b != 0.0 || lens.c != 0.0;
  m.d0 = 1.0 - lens.a - lens.b - lens.c;
  m.invNorm = 2.0 / std::min(lens.width, lens.height);
  m.rhoMax = kInfinity;
  m.rhoDistortedMax = kInfinity;
  if (m.distorted) {
    if (!(m.d0 > 0.0)) return fail(error, "radial distortion is not increasing at the centre");
    // Beyond four times the picture's corner radius nothing is in the picture:
    // the search for the end of the increasing range stops there.
    const double corner = std::max(std::hypot(m.centreX, m.centreY),
                                   std::hypot(lens.width - m.centreX, lens.height - m.centreY));
    const double cornerFar = std::max(std::hypot(lens.width - m.centreX, m.centreY),
                                      std::hypot(m.centreX, lens.height - m.centreY));
    const double target = 4.0 * (std::max(corner, cornerFar) * m.invNorm) + 1.0;
    double limit = target;
    while (distortedRho(m, limit) < target && limit < 1e12) limit *= 2.0;
    m.rhoMax = firstSlopeRoot(m, limit);
    m.rhoDistortedMax = distortedRho(m, m.rhoMax);
  }

  if (lens.cropped) {
    if (!isFinite(lens.cropLeft) || !isFinite(lens.cropRight) || !isFinite(lens.cropTop) ||
        !isFinite(lens.cropBottom) || lens.cropRight <= lens.cropLeft ||
        lens.cropBottom <= lens.cropTop) {
      return fail(error, "crop rectangle is empty or not finite");
    }
    m.left = std::max(0.0, lens.cropLeft);
    m.right = std::min(static_cast<double>(lens.width), lens.cropRight);
    m.top = std::max(0.0, lens.cropTop);
    m.bottom = std::min(static_cast<double>(lens.height), lens.cropBottom);
    if (m.right <= m.left || m.bottom <= m.top) {
      return fail(error, "crop rectangle lies outside the picture");
    }
  } else {
    m.right = lens.width;
    m.bottom = lens.height;
  }
  if (lens.projection == Projection::CircularFisheye ||
      lens.projection == Projection::Orthographic) {
    const double l = lens.cropped ? lens.cropLeft : 0.0;
    const double r = lens.cropped ? lens.cropRight : lens.width;
    const double t = lens.cropped ? lens.cropTop : 0.0;
    const double b = lens.cropped ? lens.cropBottom : lens.height;
    m.circle = true;
    m.circleX = 0.5 * (l + r);
    m.circleY = 0.5 * (t + b);
    m.circleRadius = 0.5 * std::min(r - l, b - t);
    m.circleRadiusSquared = m.circleRadius * m.circleRadius;
  }

  const bool turns =
      lens.projection == Projection::Cylindrical || lens.projection == Projection::Equirectangular;
  m.wraps = turns && std::fabs(lens.hfovDegrees - 360.0) < 1e-6;
  m.borderLeftRight = !m.wraps;
  if (lens.projection == Projection::Equirectangular) {
    m.borderTop = (m.centreY - m.top) * m.invF < kPi / 2 - 1e-6;
    m.borderBottom = (m.bottom - m.centreY) * m.invF < kPi / 2 - 1e-6;
  }

  for (const LensMask& mask : lens.masks) {
    if (mask.points.size() < 3) return fail(error, "a mask has fewer than 3 points");
    if (mask.type == 2 || mask.type == 3) continue;
    MaskPolygon polygon;
    polygon.first = static_cast<int>(m.maskPoints.size());
    polygon.count = static_cast<int>(mask.points.size());
    polygon.include = mask.type == 1;
    polygon.minX = polygon.minY = kInfinity;
    polygon.maxX = polygon.maxY = -kInfinity;
    for (const PixelPoint& p : mask.points) {
      if (!isFinite(p.x) || !isFinite(p.y)) return fail(error, "a mask point is not finite");
      polygon.minX = std::min(polygon.minX, p.x);
      polygon.maxX = std::max(polygon.maxX, p.x);
      polygon.minY = std::min(polygon.minY, p.y);
      polygon.maxY = std::max(polygon.maxY, p.y);
      m.maskPoints.push_back(p);
    }
    m.hasInclude = m.hasInclude || polygon.include;
    m.masks.push_back(polygon);
  }

  m.coverage = computeCoverage(m);
  *model = std::move(m);
  return true;
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
    const double rho = std::sqrt(x * x + y * y) * m.invNorm;
    if (!(rho < m.rhoMax)) return false;
    const Lens& l = m.lens;
    const double factor = ((l.a * rho + l.b) * rho + l.c) * rho + m.d0;
    x *= factor;
    y *= factor;
  }
  double c = x + m.centreX;
  if (m.wraps) {
    const double w = m.lens.width;
    c -= w * std::floor(c / w);
    if (c >= w) c = 0.0;
  }
  *column = c;
  *row = y + m.centreY;
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
