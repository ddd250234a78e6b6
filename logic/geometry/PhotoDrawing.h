#pragma once

#include <memory>
#include <vector>

#include <opencv2/core.hpp>

#include "camera/PhotoCamera.h"

class Picture;
struct GeneralCamera;

// The per-pixel part of the view assembly: adds one photograph's samples to
// the accumulator, four floats per view pixel (the three channel sums, blue
// first, and the weight sum), row after row of the view.

// One photograph of an assembly: what it holds and everything the per-pixel
// loop needs about it, computed once.
struct DrawJob {
  Picture* photo = nullptr;
  cv::Mat image;  // the current image, 8-bit blue, green, red
  // Pinhole photographs: the full-size weight map and, per photograph column
  // and row, its map column and its map row times the map width.
  const float* weights = nullptr;
  std::vector<int> weightColumn;
  std::vector<int> weightRow;
  // Lens photographs: their camera (held for the job's lifetime).
  std::shared_ptr<const GeneralCamera> general;
  PhotoCamera camera;  // the photograph at its current image size
  // Rows of the coefficient matrix: the ray's components along the
  // photograph's right, down and forward axes as linear forms of (dx, dy, fv).
  double ca[3] = {};
  double cb[3] = {};
  double ce[3] = {};
  int columnFrom = 0;
  int columnTo = 0;  // inclusive
  int rowFrom = 0;   // view rows [rowFrom, rowTo): the overlap box's rows, its last included
  int rowTo = 0;
};

// The view being drawn: its width in pixels, its centre (width / 2,
// height / 2) and its focal length fv in pixels. View pixel (x, y) looks
// along dx right, dy down and fv forward, dx = x - halfWidth, dy = y - halfHeight.
struct ViewRays {
  int width = 0;
  double halfWidth = 0.0;
  double halfHeight = 0.0;
  double fv = 0.0;
};

// A pinhole photograph's samples for view rows [rowFrom, rowTo): the pixel
// that holds each ray's position, weighted by the map entry of that pixel.
void drawPinholeRows(const DrawJob& job, int rowFrom, int rowTo, const ViewRays& view,
                     float* accumulator);

// Weight factor of a sample inside one of its photograph's include masks:
// there the photograph hides every other one (those have weights of at most 1,
// a masked sample at least 1e-3 times this).
constexpr float kIncludePriority = 1e9f;

// A lens photograph's samples for view rows [rowFrom, rowTo): only where it
// sees the ray (PhotoCamera::projectThroughLens), the pixel that holds the
// position, corrected to the panorama's exposure, weighted by the lens'
// blendWeight at the full-size position (times kIncludePriority inside an
// include mask).
void drawLensRows(const DrawJob& job, int rowFrom, int rowTo, const ViewRays& view,
                  float* accumulator);
