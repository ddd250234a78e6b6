#pragma once

// The one camera frame of the whole system.
//
// World vectors are triples of doubles. A direction is given by its altitude
// a (0 looks straight down, pi/2 at the horizon, pi straight up) and azimuth
// z (a larger azimuth turns the view towards the image's left), in radians:
//   d = (sin z sin a, -cos a, sin a cos z)   viewing direction
//   r = (-cos z, 0, sin z)                   image right
//   u = (sin z cos a, sin a, cos z cos a)    image up
// Angles are never wrapped or clamped. Image planes are measured in
// millimetres (x right, y up, origin at the centre, the plane at distance f
// along d); images in pixels, column from the left, row from the top.

struct Vec3 {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

inline Vec3 operator+(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(double s, const Vec3& a) { return {s * a.x, s * a.y, s * a.z}; }
inline double dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

struct ViewFrame {
  Vec3 d;
  Vec3 r;
  Vec3 u;
  double f = 0.0;
  // Unit rays through the plane's corners: top-left, top-right,
  // bottom-right, bottom-left.
  Vec3 corners[4];
};

// The frame of a pinhole camera with focal length f and a plane of
// planeWidth x planeHeight millimetres.
ViewFrame viewFrame(double altitude, double azimuth, double f, double planeWidth,
                    double planeHeight);

// Millimetres on the frame's image plane of the ray p (p . d must be > 0).
void projectToPlane(const Vec3& p, const ViewFrame& frame, double* x, double* y);

// Pixel of plane point (x, y): column = floor((x + W/2) Wpx / W + 0.5),
// row = floor((1 - (y + H/2) / H) Hpx + 0.5), each clamped into the image.
void planeToPixel(double x, double y, int pixelWidth, int pixelHeight, double planeWidth,
                  double planeHeight, int* column, int* row);

// Largest number of vertices clipToFrustum can return; buffers hold this many.
constexpr int kMaxClipVertices = 16;

// Clips the polygon `in` (n vertices) against the pyramid of `reference`
// (the half-space in front, then the four side planes); writes the result to
// `out` (kMaxClipVertices entries) and returns its vertex count, 0 if empty.
int clipToFrustum(const Vec3* in, int n, const ViewFrame& reference, Vec3* out);
