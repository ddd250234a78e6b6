#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <opencv2/core.hpp>

#include "camera/PhotoCamera.h"

class Picture;
struct GeneralCamera;

// The per-pixel part of the view assembly: adds one photograph's samples to
// an accumulator band, four floats per view pixel (the three channel sums,
// blue first, and the weight sum) for a run of whole view rows, and turns
// finished cells into pixels.
//
// Where the processor has 512-bit vector lanes (AVX-512, geometry/WideLanes),
// pinhole photographs are projected eight pixels at a time and four cells
// summed or finished per vector; with 256-bit lanes (AVX2) four pixels at a
// time. The lanes use the very operations of the one-pixel code (no fused
// multiply-add, IEEE division, the same truncation and saturation), so all
// give identical views.

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
  // Set where the axis tables are the map's own folding (a full-size image
  // of the map's size): the map index of pixel (row, column) is then
  // (foldRow - |row - foldRow|) x weightStride + foldColumn - |column - foldColumn|,
  // which the 512-bit lanes compute instead of looking it up.
  bool weightsFolded = false;
  int foldColumn = 0;
  int foldRow = 0;
  int weightStride = 0;
  // Or, for small current images, the weight of each of its pixels, row by
  // row (the same values).
  std::shared_ptr<const std::vector<float>> pixelWeights;
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

// The part of a view ray along one photograph axis that depends on the row:
// c[1] dy + c[2] fv (the coefficients of the job's ca, cb or ce).
inline double rowPart(const double* c, double dy, double fv) { return c[1] * dy + c[2] * fv; }

// A pinhole photograph's samples for view rows [rowFrom, rowTo): the pixel
// that holds each ray's position, weighted by the map entry of that pixel.
// `cells` holds the accumulator cells of view rows from `firstRow` on
// (firstRow <= rowFrom), view.width cells per row.
void drawPinholeRows(const DrawJob& job, int rowFrom, int rowTo, const ViewRays& view,
                     float* cells, int firstRow);

// Weight factor of a sample inside one of its photograph's include masks:
// there the photograph hides every other one (those have weights of at most 1,
// a masked sample at least 1e-3 times this).
constexpr float kIncludePriority = 1e9f;

// A lens photograph's samples for view rows [rowFrom, rowTo): only where it
// sees the ray (PhotoCamera::projectThroughLens), the pixel that holds the
// position, corrected to the panorama's exposure, weighted by the lens'
// blendWeight at the full-size position (times kIncludePriority inside an
// include mask).
// `cells` and `firstRow` as for drawPinholeRows.
void drawLensRows(const DrawJob& job, int rowFrom, int rowTo, const ViewRays& view, float* cells,
                  int firstRow);

// Sets `count` floats of accumulator cells to `value` (a vector store per
// eight where the lanes are in use: the compiler stores them one by one).
void fillCells(float* cells, std::size_t count, float value);

// Turns `count` accumulator cells into 8-bit pixels (three bytes each): every
// channel sum divided by the weight sum, plus `rounding` (0 truncates, 0.5
// rounds), truncated toward zero and saturated to 0 ... 255.
void finishPixels(const float* cells, int count, float rounding, std::uint8_t* pixels);

// The widest vector lanes used where the processor has them: 8 (512-bit
// lanes, the default), 4 (256-bit lanes) or 1 (one pixel at a time); the
// views are the same either way. For tests and benchmarks.
void setVectorLanes(int widest);
// The lanes in use: the widest allowed that the processor has (8, 4 or 1).
int vectorLanesInUse();
