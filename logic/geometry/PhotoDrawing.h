#pragma once

#include <cstddef>
#include <cstdint>

#include "geometry/DrawJob.h"

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
