#include "sound/SoundImage.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <opencv2/core.hpp>

#include "base/Constants.h"
#include "base/ParallelFor.h"
#include "panorama/Picture.h"
#include "sound/ColorMap.h"
#include "sound/SoundData.h"
#include "sound/SoundRays.h"

namespace {

// Everything one image row needs, computed once per call.
struct RayGrid {
  ViewRays rays;
  int cols, rows;
  int filledRows;  // rows the grid holds; the rest read as 0
  const float* grid;
  const unsigned char* blue;
  const unsigned char* green;
  const unsigned char* red;
};

// Colours image row i: each pixel gets the grid cell its ray points at (and,
// with `values`, the cell's value in the same row of that image). A ray
// without a direction is skipped: its pixel is painted black, a colour the
// map never shows, rather than any cell's colour, and its value is NaN.
void colourRow(const RayGrid& g, cv::Mat& img, cv::Mat* values, int i) {
  unsigned char* out = img.ptr<unsigned char>(i);
  float* valueOut = values != nullptr ? values->ptr<float>(i) : nullptr;
  const int channels = img.channels();
  for (int j = 0; j < img.cols; ++j, out += channels) {
    int row = 0;
    int col = 0;
    if (!rayCell(pixelRay(g.rays, j, i), g.rows, g.cols, &row, &col)) {
      out[0] = 0;
      out[1] = 0;
      out[2] = 0;
      if (valueOut != nullptr) {
        valueOut[j] = std::numeric_limits<float>::quiet_NaN();
      }
      continue;
    }
    const float value =
        row < g.filledRows ? g.grid[static_cast<std::size_t>(row) * g.cols + col] : 0.0f;
    const int e = colorEntry(value);
    out[0] = g.blue[e];
    out[1] = g.green[e];
    out[2] = g.red[e];
    if (valueOut != nullptr) {
      valueOut[j] = value;
    }
  }
}

}  // namespace

int computeSoundImage(Picture* picture, const SoundData& data, int index, cv::Mat* values) {
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

  RayGrid g;
  g.rays = viewRays(picture->altitude, picture->azimuth, picture->focalLength, width, height,
                    pitch);
  g.cols = cols;
  g.rows = rows;
  g.filledRows = static_cast<int>(grid.size() / static_cast<std::size_t>(cols));
  g.grid = grid.data();
  g.blue = data.blue.data();
  g.green = data.green.data();
  g.red = data.red.data();

  if (values != nullptr) {
    values->create(img.rows, img.cols, CV_32F);
  }
  // Every row is independent and computed the same way on any thread, so
  // spreading the rows over the cores does not change a single pixel.
  parallelRows(img.rows, [&](int from, int to) {
    for (int i = from; i < to; ++i) {
      colourRow(g, img, values, i);
    }
  });
  return 0;
}
