#include "camera/LensModel.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/Constants.h"
#include "camera/LensDistortion.h"
#include "camera/LensMapping.h"

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Added to coverage radii against rounding, radians.
constexpr double kAngleSlack = 1e-9;

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
    reach =
        std::min(reach, std::hypot(m.circleX - m.centreX, m.circleY - m.centreY) + m.circleRadius);
  }
  if (m.distorted) {
    const double rhoDistorted = reach * m.invNorm;
    const double rho = rhoDistorted >= m.rhoDistortedMax ? m.rhoMax : undistortRho(m, rhoDistorted);
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

void photoAngles(const Mat3& rotation, double* yawDegrees, double* pitchDegrees,
                 double* rollDegrees) {
  // Undoing the mirror leaves N = Rz(roll) Rx(pitch) Ry(-yaw), whose last row
  // is (-cos p sin(-y), sin p, cos p cos(-y)) and whose middle column is
  // (-sin r cos p, cos r cos p, sin p).
  const auto& m = rotation.m;
  const double n20 = -m[2][0];
  const double n21 = m[2][1];
  const double n22 = m[2][2];
  const double cosPitch = std::hypot(n20, n22);
  const double pitch = std::atan2(n21, cosPitch);
  double yaw = 0.0;
  double roll = 0.0;
  if (cosPitch > 1e-12) {
    yaw = std::atan2(n20, n22);
    roll = std::atan2(-m[0][1], m[1][1]);
  } else {
    // N = Rz(roll) Rx(+-90 degrees): its first column is (cos r, sin r, 0).
    roll = std::atan2(-m[1][0], -m[0][0]);
  }
  *yawDegrees = radiansToDegrees(yaw);
  *pitchDegrees = radiansToDegrees(pitch);
  *rollDegrees = radiansToDegrees(roll);
}

Mat3 rotationSeenFrom(const Mat3& photo, const Mat3& view) {
  // A world direction v is v' = M V v in the turned world (V takes it into
  // the view's camera frame, M = photoRotation(0, 0, 0) out of the start
  // view's); the result must take v' to P v, so it is P V^T M.
  Mat3 viewBack;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) viewBack.m[i][j] = view.m[j][i];
  }
  Mat3 mirror;
  mirror.m[0][0] = -1.0;
  return multiply(photo, multiply(viewBack, mirror));
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
    m.rhoMax = increasingRangeEnd(m, target);
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
