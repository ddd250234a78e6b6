#pragma once

#include <memory>
#include <vector>

#include <opencv2/core.hpp>

#include "camera/PhotoCamera.h"

class Picture;
struct GeneralCamera;

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
  // which the vector lanes compute instead of looking it up.
  // (Never set for an image with its own weight table.)
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

  // What the vector lanes' weight indices point into: the image's own
  // weight table, or the map.
  const float* weightValues() const { return pixelWeights ? pixelWeights->data() : weights; }
  // The map indices of `count` pixels, looked up in the axis tables.
  void lookUpWeightIndices(const int* rows, const int* columns, int count, int* indices) const {
    for (int i = 0; i < count; ++i) {
      indices[i] = weightRow[rows[i]] + weightColumn[columns[i]];
    }
  }
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
