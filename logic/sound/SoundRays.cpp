#include "sound/SoundRays.h"

#include "camera/PhotoCamera.h"

ViewRays viewRays(double altitude, double azimuth, double f, int width, int height,
                  double pitch) {
  // The view's frame: the centre of its image plane f along the viewing
  // direction, with the plane's right and up directions.
  const CameraAxes axes = cameraAxes(altitude, azimuth);
  ViewRays g;
  g.fx = f * axes.forward.x;
  g.fy = f * axes.forward.y;
  g.fz = f * axes.forward.z;
  g.ux = axes.right.x;
  g.uy = axes.right.y;
  g.uz = axes.right.z;
  g.vx = -axes.down.x;
  g.vy = -axes.down.y;
  g.vz = -axes.down.z;
  g.f = f;
  g.pitch = pitch;
  g.hx = pitch * width * 0.5;
  g.hy = pitch * height * 0.5;
  g.width = width;
  g.height = height;
  return g;
}

void cellCentre(int row, int col, int rows, int cols, double* altitude, double* azimuth) {
  *altitude = kPi - (row + 0.5) * kPi / rows;
  *azimuth = (col + 0.5) * kTwoPi / cols;
}

bool directionPixel(const ViewRays& g, double altitude, double azimuth, double* column,
                    double* row) {
  const double sa = std::sin(altitude);
  const Vec3 d{std::sin(azimuth) * sa, -std::cos(altitude), sa * std::cos(azimuth)};
  // Along the forward axis (fx, fy, fz) / f, the right and up axes.
  const double depth = (d.x * g.fx + d.y * g.fy + d.z * g.fz) / g.f;
  if (!(depth > 0.0)) {
    return false;
  }
  const double x = g.f * (d.x * g.ux + d.y * g.uy + d.z * g.uz) / depth;
  const double y = g.f * (d.x * g.vx + d.y * g.vy + d.z * g.vz) / depth;
  *column = (x + g.hx) / g.pitch;
  *row = (g.hy - y) / g.pitch;
  return *column >= 0.0 && *column < g.width && *row >= 0.0 && *row < g.height;
}
