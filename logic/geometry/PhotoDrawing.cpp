#include "geometry/PhotoDrawing.h"

#include <algorithm>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "camera/GeneralCamera.h"
#include "camera/LensMapping.h"

namespace {

// Adds sample x weight to the three channel sums and weight to the fourth.
inline void accumulate(const std::uint8_t* pixel, float weight, float* cell) {
#if defined(__SSE2__)
  // The four sums at once; each lane rounds exactly as the scalar multiply
  // and add would (the fourth lane adds 1 x weight).
  const __m128 sample = _mm_cvtepi32_ps(_mm_setr_epi32(pixel[0], pixel[1], pixel[2], 1));
  _mm_storeu_ps(cell, _mm_add_ps(_mm_loadu_ps(cell), _mm_mul_ps(sample, _mm_set1_ps(weight))));
#else
  cell[0] += pixel[0] * weight;
  cell[1] += pixel[1] * weight;
  cell[2] += pixel[2] * weight;
  cell[3] += weight;
#endif
}

}  // namespace

void drawPinholeRows(const DrawJob& s, int rowFrom, int rowTo, const ViewRays& view,
                     float* accumulator) {
  for (int y = rowFrom; y < rowTo; ++y) {
    const double dy = y - view.halfHeight;
    const double a0 = s.ca[1] * dy + s.ca[2] * view.fv;
    const double b0 = s.cb[1] * dy + s.cb[2] * view.fv;
    const double e0 = s.ce[1] * dy + s.ce[2] * view.fv;
    float* cell = accumulator + 4 * (static_cast<long>(y) * view.width + s.columnFrom);
    for (int x = s.columnFrom; x <= s.columnTo; ++x, cell += 4) {
      const double dx = x - view.halfWidth;
      double column = 0.0;
      double row = 0.0;
      if (!s.camera.project(s.ca[0] * dx + a0, s.cb[0] * dx + b0, s.ce[0] * dx + e0, &column,
                            &row)) {
        continue;
      }
      const int ci = static_cast<int>(column);
      const int ri = static_cast<int>(row);
      const float weight = s.weights[s.weightRow[ri] + s.weightColumn[ci]];
      accumulate(s.image.ptr<std::uint8_t>(ri) + 3 * ci, weight, cell);
    }
  }
}

void drawLensRows(const DrawJob& s, int rowFrom, int rowTo, const ViewRays& view,
                  float* accumulator) {
  const GeneralCamera& general = *s.general;
  const LensModel& lens = general.lens;
  // Positions are found for a run of pixels first and used afterwards: the
  // runs' projections do not wait for one another, so their long chains of
  // divisions and square roots overlap.
  constexpr int kRun = 64;
  double column[kRun];
  double row[kRun];
  double fullColumn[kRun];
  double fullRow[kRun];
  bool seen[kRun];
  for (int y = rowFrom; y < rowTo; ++y) {
    const double dy = y - view.halfHeight;
    const double a0 = s.ca[1] * dy + s.ca[2] * view.fv;
    const double b0 = s.cb[1] * dy + s.cb[2] * view.fv;
    const double e0 = s.ce[1] * dy + s.ce[2] * view.fv;
    for (int from = s.columnFrom; from <= s.columnTo; from += kRun) {
      const int count = std::min(kRun, s.columnTo - from + 1);
      for (int i = 0; i < count; ++i) {
        const double dx = from + i - view.halfWidth;
        seen[i] = s.camera.projectThroughLens(s.ca[0] * dx + a0, s.cb[0] * dx + b0,
                                              s.ce[0] * dx + e0, &column[i], &row[i],
                                              &fullColumn[i], &fullRow[i]);
      }
      float* cell = accumulator + 4 * (static_cast<long>(y) * view.width + from);
      for (int i = 0; i < count; ++i, cell += 4) {
        if (!seen[i]) {
          continue;
        }
        float weight = static_cast<float>(blendWeight(lens, fullColumn[i], fullRow[i]));
        if (lens.hasInclude && insideIncludeMask(lens, fullColumn[i], fullRow[i])) {
          weight *= kIncludePriority;
        }
        const std::uint8_t* pixel = s.image.ptr<std::uint8_t>(static_cast<int>(row[i])) +
                                    3 * static_cast<int>(column[i]);
        if (general.correctsBrightness) {
          std::uint8_t corrected[3] = {pixel[0], pixel[1], pixel[2]};
          general.brightness.correctBgr(corrected, static_cast<int>(fullColumn[i]),
                                        static_cast<int>(fullRow[i]));
          accumulate(corrected, weight, cell);
        } else {
          accumulate(pixel, weight, cell);
        }
      }
    }
  }
}
