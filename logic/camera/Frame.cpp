#include "camera/Frame.h"

#include <cmath>

namespace {

Vec3 normalised(const Vec3& v) {
  const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return {v.x / length, v.y / length, v.z / length};
}

// floor(value + 0.5) clamped into 0 ... size-1, done in double so that huge,
// infinite or undefined values (a ray grazing the plane) never reach an int
// conversion out of range.
int roundClamped(double value, int size) {
  const double rounded = std::floor(value + 0.5);
  if (!(rounded > 0.0)) {  // also catches NaN
    return 0;
  }
  const double last = static_cast<double>(size - 1);
  if (rounded >= last) {
    return size > 0 ? size - 1 : 0;
  }
  return static_cast<int>(rounded);
}

// One Sutherland-Hodgman pass against the plane n . p = 0, keeping n . p <= 0.
// Emits at most `capacity` vertices; returns the count.
int clipPass(const Vec3* in, int n, const Vec3& normal, Vec3* out, int capacity) {
  int count = 0;
  auto emit = [&](const Vec3& p) {
    if (count < capacity) {
      out[count++] = p;
    }
  };
  Vec3 previous = in[n - 1];
  double previousSide = dot(normal, previous);
  for (int i = 0; i < n; ++i) {
    const Vec3& current = in[i];
    const double currentSide = dot(normal, current);
    const bool previousInside = previousSide <= 0.0;
    const bool currentInside = currentSide <= 0.0;
    if (previousInside != currentInside) {
      const Vec3 edge = current - previous;
      const double t = -previousSide / dot(normal, edge);
      emit(previous + t * edge);
    }
    if (currentInside) {
      emit(current);
    }
    previous = current;
    previousSide = currentSide;
  }
  return count;
}

}  // namespace

ViewFrame viewFrame(double altitude, double azimuth, double f, double planeWidth,
                    double planeHeight) {
  const double sa = std::sin(altitude);
  const double ca = std::cos(altitude);
  const double sz = std::sin(azimuth);
  const double cz = std::cos(azimuth);

  ViewFrame frame;
  frame.f = f;
  frame.d = {sz * sa, -ca, sa * cz};
  frame.r = normalised({-cz, 0.0, sz});
  frame.u = normalised({sz * ca, sa, cz * ca});

  const Vec3 centre = f * frame.d;
  const Vec3 up = (planeHeight / 2.0) * frame.u;
  const Vec3 right = (planeWidth / 2.0) * frame.r;
  frame.corners[0] = normalised(centre + up - right);
  frame.corners[1] = normalised(centre + up + right);
  frame.corners[2] = normalised(centre - up + right);
  frame.corners[3] = normalised(centre - up - right);
  return frame;
}

void projectToPlane(const Vec3& p, const ViewFrame& frame, double* x, double* y) {
  const double depth = dot(p, frame.d);
  *x = frame.f * dot(p, frame.r) / depth;
  *y = frame.f * dot(p, frame.u) / depth;
}

void planeToPixel(double x, double y, int pixelWidth, int pixelHeight, double planeWidth,
                  double planeHeight, int* column, int* row) {
  *column = roundClamped((x + planeWidth / 2.0) * pixelWidth / planeWidth, pixelWidth);
  *row = roundClamped((1.0 - (y + planeHeight / 2.0) / planeHeight) * pixelHeight, pixelHeight);
}

int clipToFrustum(const Vec3* in, int n, const ViewFrame& reference, Vec3* out) {
  if (n <= 0) {
    return 0;
  }
  if (n > kMaxClipVertices) {
    n = kMaxClipVertices;
  }

  Vec3 normals[5];
  normals[0] = -1.0 * reference.d;
  for (int i = 1; i <= 4; ++i) {
    Vec3 normal = cross(reference.corners[i - 1], reference.corners[i % 4]);
    if (dot(reference.d, normal) > 0.0) {
      normal = -1.0 * normal;
    }
    normals[i] = normal;
  }

  Vec3 buffers[2][kMaxClipVertices];
  const Vec3* source = in;
  int count = n;
  for (int plane = 0; plane < 5; ++plane) {
    Vec3* target = buffers[plane % 2];
    count = clipPass(source, count, normals[plane], target, kMaxClipVertices);
    if (count == 0) {
      return 0;
    }
    source = target;
  }
  for (int i = 0; i < count; ++i) {
    out[i] = source[i];
  }
  return count;
}
