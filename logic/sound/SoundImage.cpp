#include "sound/SoundImage.h"

#include <algorithm>
#include <cmath>

#include <opencv2/core.hpp>

#include "base/Constants.h"
#include "base/ParallelFor.h"
#include "camera/PhotoCamera.h"
#include "panorama/Picture.h"
#include "sound/ColorMap.h"
#include "sound/SoundData.h"

namespace {

// Everything one image row needs, computed once per call.
struct RayGrid {
  double fx, fy, fz;  // centre of the image plane, f along the view direction
  double ux, uy, uz;  // image right
  double vx, vy, vz;  // image up
  double pitch;       // millimetres per pixel
  double hx, hy;      // half the plane's width and height in millimetres
  int cols, rows;
  int filledRows;  // rows the grid holds; the rest read as 0
  const float* grid;
  const unsigned char* blue;
  const unsigned char* green;
  const unsigned char* red;
};

// Colours image row i: each pixel gets the grid cell its ray points at. A
// ray without a direction (NaN or infinite components, which a clamp would
// let through as a NaN index) is skipped: its pixel is painted black, a
// colour the map never shows, rather than any cell's colour.
void colourRow(const RayGrid& g, cv::Mat& img, int i) {
  unsigned char* out = img.ptr<unsigned char>(i);
  const int channels = img.channels();
  const double y = -(g.pitch * i - g.hy);
  for (int j = 0; j < img.cols; ++j, out += channels) {
    const double x = g.pitch * j - g.hx;
    const double qx = x * g.ux + g.fx + y * g.vx;
    const double qy = x * g.uy + g.fy + y * g.vy;
    const double qz = x * g.uz + g.fz + y * g.vz;
    const double len = std::sqrt(qx * qx + qy * qy + qz * qz);
    // Rounding may put the cosine marginally outside [-1, 1].
    const double cosine = std::clamp(qy / len, -1.0, 1.0);
    const double psi = kPi - std::acos(cosine);  // angle from straight down
    double alpha = std::atan2(qx, qz);
    if (alpha < 0.0) {
      alpha += kTwoPi;
    }
    // The straight-down ray gives row = rows and an azimuth of -0 rounding
    // up to 2 pi gives col = cols: both are kept on the grid's last cell.
    const double rowValue = std::floor((g.rows * (kPi - psi)) / kPi);
    const double colValue = std::floor((g.cols * alpha) / kTwoPi);
    if (!std::isfinite(rowValue) || !std::isfinite(colValue)) {
      out[0] = 0;
      out[1] = 0;
      out[2] = 0;
      continue;
    }
    const int row = static_cast<int>(std::clamp(rowValue, 0.0, g.rows - 1.0));
    const int col = static_cast<int>(std::clamp(colValue, 0.0, g.cols - 1.0));
    const float value =
        row < g.filledRows ? g.grid[static_cast<std::size_t>(row) * g.cols + col] : 0.0f;
    const int e = colorEntry(value);
    out[0] = g.blue[e];
    out[1] = g.green[e];
    out[2] = g.red[e];
  }
}

}  // namespace

int computeSoundImage(Picture* picture, const SoundData& data, int index) {
  if (picture == nullptr || index < 0 || index >= data.count ||
      index >= static_cast<int>(data.sizes.size()) ||
      index >= static_cast<int>(data.grids.size())) {
    return -1;
  }
  const auto [cols, rows] = data.sizes[index];
  const std::vector<float>& grid = data.grids[index];
  // The grid holds whole rows, at most the declared ones.
  if (cols < 1 || rows < 1 || grid.size() % static_cast<std::size_t>(cols) != 0 ||
      grid.size() > static_cast<std::size_t>(cols) * rows ||
      data.red.size() < kColorTableSize || data.green.size() < kColorTableSize ||
      data.blue.size() < kColorTableSize) {
    return -1;
  }

  cv::Mat img = picture->acquireImage();
  if (img.empty() || img.depth() != CV_8U || img.channels() < 3) {
    return -1;
  }
  int width = 0;
  int height = 0;
  double pitch = 0.0;
  picture->currentSize(&width, &height, &pitch);

  // The view's frame: the centre of its image plane f along the viewing
  // direction, with the plane's right and up directions.
  const CameraAxes axes = cameraAxes(picture->altitude, picture->azimuth);
  const double f = picture->focalLength;
  RayGrid g;
  g.fx = f * axes.forward.x;
  g.fy = f * axes.forward.y;
  g.fz = f * axes.forward.z;
  g.ux = axes.right.x;
  g.uy = axes.right.y;
  g.uz = axes.right.z;
  g.vx = -axes.down.x;
  g.vy = -axes.down.y;
  g.vz = -axes.down.z;
  g.pitch = pitch;
  g.hx = pitch * width * 0.5;
  g.hy = pitch * height * 0.5;
  g.cols = cols;
  g.rows = rows;
  g.filledRows = static_cast<int>(grid.size() / static_cast<std::size_t>(cols));
  g.grid = grid.data();
  g.blue = data.blue.data();
  g.green = data.green.data();
  g.red = data.red.data();

  // Every row is independent and computed the same way on any thread, so
  // spreading the rows over the cores does not change a single pixel.
  parallelRows(img.rows, [&](int from, int to) {
    for (int i = from; i < to; ++i) {
      colourRow(g, img, i);
    }
  });
  return 0;
}
