#pragma once

#include <cstddef>
#include <cstdint>

struct DrawJob;
struct ViewRays;

// The per-pixel loops of the view assembly on 512-bit vector lanes
// (AVX-512), for processors that have them: pinhole photographs projected
// eight view pixels at a time, four accumulator cells summed or finished per
// vector. Each lane does the very operations of the one-pixel code (no fused
// multiply-add, IEEE division, the same truncation and saturation), so the
// views are identical to it. Callers check wideLanesAvailable() first, and
// that the job's byte offsets fit the lanes' 32-bit integers.

// True when the processor (and the build) have the 512-bit lanes.
bool wideLanesAvailable();

// drawPinholeRows: the rays of a run of view pixels are projected first and
// the photograph's pixels and weights read afterwards, so that the reads do
// not wait for the divisions and many of them are under way at once.
void drawPinholeRowsWide(const DrawJob& job, int rowFrom, int rowTo, const ViewRays& view,
                         float* cells, int firstRow);

// fillCells and finishPixels, sixteen floats per vector.
void fillCellsWide(float* cells, std::size_t count, float value);
void finishPixelsWide(const float* cells, int count, float rounding, std::uint8_t* pixels);
