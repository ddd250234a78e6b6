#include "geometry/PhotoDrawing.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define PANO_AVX2_LANES 1
#endif

#include "camera/GeneralCamera.h"
#include "camera/LensMapping.h"
#include "geometry/WideLanes.h"

namespace {

std::atomic<int> widestLanes{8};

bool processorHasLanes() {
#if defined(PANO_AVX2_LANES)
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
#else
  return false;
#endif
}

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

// The blend weight of pixel (row, column) of a pinhole job's current image:
// from the image's own table when it has one, else from the full-size map
// through the axis tables (the same value).
inline float sampleWeight(const DrawJob& s, int row, int column) {
  return s.pixelWeights ? (*s.pixelWeights)[static_cast<std::size_t>(row) * s.image.cols + column]
                        : s.weights[s.weightRow[row] + s.weightColumn[column]];
}

// Whether the byte offsets of a job's image fit the lanes' 32-bit integers
// (always, but for images of more than 2 GB).
bool offsetsFitLanes(const DrawJob& job) {
  const double imageBytes = static_cast<double>(job.image.step[0]) * job.image.rows;
  return imageBytes < static_cast<double>(INT_MAX);
}

// One cell to one pixel (see finishPixels).
inline void finishPixel(const float* cell, float rounding, std::uint8_t* pixel) {
#if defined(__SSE2__)
  // One division for the three channel sums (lane by lane, as scalar),
  // truncated toward zero; the two packs saturate to 0 ... 255.
  const __m128 sums = _mm_loadu_ps(cell);
  const __m128i values = _mm_cvttps_epi32(
      _mm_add_ps(_mm_div_ps(sums, _mm_set1_ps(cell[3])), _mm_set1_ps(rounding)));
  const __m128i words = _mm_packs_epi32(values, values);
  const int bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
  std::memcpy(pixel, &bytes, 3);
#else
  for (int i = 0; i < 3; ++i) {
    const int value = static_cast<int>(cell[i] / cell[3] + rounding);
    pixel[i] = static_cast<std::uint8_t>(std::clamp(value, 0, 255));
  }
#endif
}

void drawPinholeRowsScalar(const DrawJob& s, int rowFrom, int rowTo, const ViewRays& view,
                           float* cells, int firstRow) {
  for (int y = rowFrom; y < rowTo; ++y) {
    const double dy = y - view.halfHeight;
    const double a0 = rowPart(s.ca, dy, view.fv);
    const double b0 = rowPart(s.cb, dy, view.fv);
    const double e0 = rowPart(s.ce, dy, view.fv);
    float* cell = cells + 4 * (static_cast<long>(y - firstRow) * view.width + s.columnFrom);
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
      accumulate(s.image.ptr<std::uint8_t>(ri) + 3 * ci, sampleWeight(s, ri, ci), cell);
    }
  }
}

#if defined(PANO_AVX2_LANES)

// View pixels of one run of drawPinholeRowsLanes, projected before their
// samples are read.
constexpr int kRun = 128;

// drawPinholeRowsScalar four view pixels at a time: the same products, sums,
// division and ordered comparisons (false for NaN) in each lane. The target
// leaves out fused multiply-add, so no product is contracted into a sum. A
// run of view pixels is projected first and the photograph's pixels and
// weights read afterwards, so that the reads do not wait for the divisions.
__attribute__((target("avx2"))) void drawPinholeRowsLanes(const DrawJob& s, int rowFrom, int rowTo,
                                                          const ViewRays& view, float* cells,
                                                          int firstRow) {
  const PhotoCamera& camera = s.camera;
  const __m256d ca = _mm256_set1_pd(s.ca[0]);
  const __m256d cb = _mm256_set1_pd(s.cb[0]);
  const __m256d ce = _mm256_set1_pd(s.ce[0]);
  const __m256d focal = _mm256_set1_pd(camera.focalPixels());
  const __m256d halfWidth = _mm256_set1_pd(camera.halfWidth());
  const __m256d halfHeight = _mm256_set1_pd(camera.halfHeight());
  const __m256d lastColumn = _mm256_set1_pd(camera.lastColumn());
  const __m256d lastRow = _mm256_set1_pd(camera.lastRow());
  const __m256d zero = _mm256_setzero_pd();
  const __m256d four = _mm256_set1_pd(4.0);
  const __m256d lane = _mm256_setr_pd(0.0, 1.0, 2.0, 3.0);
  const __m256i lowHalves = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
  const std::uint8_t* image = s.image.data;
  const __m128i step = _mm_set1_epi32(static_cast<int>(s.image.step[0]));
  const float* pixelWeights = s.pixelWeights ? s.pixelWeights->data() : nullptr;
  const float* weights = s.weightValues();
  const __m128i pixelWeightsWidth = _mm_set1_epi32(s.image.cols);
  const __m128i foldColumn = _mm_set1_epi32(s.foldColumn);
  const __m128i foldRow = _mm_set1_epi32(s.foldRow);
  const __m128i weightStride = _mm_set1_epi32(s.weightStride);
  const __m256 ones = _mm256_set1_ps(1.0f);
  const __m256i firstPair = _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1);
  const __m256i secondPair = _mm256_setr_epi32(2, 2, 2, 2, 3, 3, 3, 3);
  // Per view pixel of a run: the byte offset of its photograph pixel, the
  // index of its weight (or its photograph row and column, to look it up),
  // and all ones where the photograph sees it. A pixel it does not see reads
  // the first pixel and weight and adds them with weight 0, which leaves its
  // sums exactly as they are.
  alignas(32) int pixelAt[kRun];
  alignas(32) int weightAt[kRun];
  alignas(32) int rowAt[kRun];
  alignas(32) int columnAt[kRun];
  alignas(32) int seenAt[kRun];
  for (int y = rowFrom; y < rowTo; ++y) {
    const double dy = y - view.halfHeight;
    const __m256d a0 = _mm256_set1_pd(rowPart(s.ca, dy, view.fv));
    const __m256d b0 = _mm256_set1_pd(rowPart(s.cb, dy, view.fv));
    const __m256d e0 = _mm256_set1_pd(rowPart(s.ce, dy, view.fv));
    float* rowCells = cells + 4 * static_cast<long>(y - firstRow) * view.width;
    // dx = x - halfWidth in every lane; the steps of four are exact.
    __m256d dx =
        _mm256_sub_pd(_mm256_add_pd(_mm256_set1_pd(static_cast<double>(s.columnFrom)), lane),
                      _mm256_set1_pd(view.halfWidth));
    for (int from = s.columnFrom; from <= s.columnTo; from += kRun) {
      const int count = std::min(kRun, s.columnTo - from + 1);
      int anySeen = 0;
      for (int i = 0; i < count; i += 4, dx = _mm256_add_pd(dx, four)) {
        const __m256d a = _mm256_add_pd(_mm256_mul_pd(ca, dx), a0);
        const __m256d b = _mm256_add_pd(_mm256_mul_pd(cb, dx), b0);
        const __m256d e = _mm256_add_pd(_mm256_mul_pd(ce, dx), e0);
        const __m256d q = _mm256_div_pd(focal, e);
        const __m256d column = _mm256_add_pd(halfWidth, _mm256_mul_pd(a, q));
        const __m256d row = _mm256_add_pd(halfHeight, _mm256_mul_pd(b, q));
        __m256d seen = _mm256_and_pd(_mm256_cmp_pd(e, zero, _CMP_GT_OQ),
                                     _mm256_cmp_pd(column, zero, _CMP_GE_OQ));
        seen = _mm256_and_pd(seen, _mm256_cmp_pd(column, lastColumn, _CMP_LT_OQ));
        seen = _mm256_and_pd(seen, _mm256_cmp_pd(row, zero, _CMP_GE_OQ));
        seen = _mm256_and_pd(seen, _mm256_cmp_pd(row, lastRow, _CMP_LT_OQ));
        if (count - i < 4) {
          seen = _mm256_and_pd(
              seen,
              _mm256_cmp_pd(lane, _mm256_set1_pd(static_cast<double>(count - i)), _CMP_LT_OQ));
        }
        anySeen |= _mm256_movemask_pd(seen);
        // The lanes' all-ones or zero masks as four 32-bit lanes.
        const __m128i on = _mm256_castsi256_si128(
            _mm256_permutevar8x32_epi32(_mm256_castpd_si256(seen), lowHalves));
        const __m128i ci = _mm_and_si128(_mm256_cvttpd_epi32(column), on);
        const __m128i ri = _mm_and_si128(_mm256_cvttpd_epi32(row), on);
        _mm_store_si128(
            reinterpret_cast<__m128i*>(pixelAt + i),
            _mm_add_epi32(_mm_mullo_epi32(ri, step), _mm_add_epi32(ci, _mm_add_epi32(ci, ci))));
        _mm_store_si128(reinterpret_cast<__m128i*>(seenAt + i), on);
        if (pixelWeights != nullptr) {
          _mm_store_si128(reinterpret_cast<__m128i*>(weightAt + i),
                          _mm_add_epi32(_mm_mullo_epi32(ri, pixelWeightsWidth), ci));
        } else if (s.weightsFolded) {
          const __m128i mapColumn =
              _mm_sub_epi32(foldColumn, _mm_abs_epi32(_mm_sub_epi32(ci, foldColumn)));
          const __m128i mapRow = _mm_sub_epi32(foldRow, _mm_abs_epi32(_mm_sub_epi32(ri, foldRow)));
          _mm_store_si128(reinterpret_cast<__m128i*>(weightAt + i),
                          _mm_add_epi32(_mm_mullo_epi32(mapRow, weightStride), mapColumn));
        } else {
          _mm_store_si128(reinterpret_cast<__m128i*>(rowAt + i), ri);
          _mm_store_si128(reinterpret_cast<__m128i*>(columnAt + i), ci);
        }
      }
      if (anySeen == 0) {
        continue;
      }
      if (pixelWeights == nullptr && !s.weightsFolded) {
        s.lookUpWeightIndices(rowAt, columnAt, (count + 3) & ~3, weightAt);
      }
      float* cell = rowCells + 4 * static_cast<long>(from);
      for (int i = 0; i < count; i += 4, cell += 16) {
        if (count - i < 4) {
          // The row's last cells: only those of the job's columns are touched.
          for (int k = 0; k < count - i; ++k) {
            if (seenAt[i + k] != 0) {
              accumulate(image + pixelAt[i + k], weights[weightAt[i + k]], cell + 4 * k);
            }
          }
          break;
        }
        // Each pixel is read as four bytes (blue, green, red and one of the
        // next pixel, which exists: the last column is never sampled); the
        // fourth lane becomes 1.
        int p[4];
        for (int k = 0; k < 4; ++k) {
          std::memcpy(&p[k], image + pixelAt[i + k], 4);
        }
        const __m128i bytes = _mm_setr_epi32(p[0], p[1], p[2], p[3]);
        const __m256 first =
            _mm256_blend_ps(_mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(bytes)), ones, 0x88);
        const __m256 second = _mm256_blend_ps(
            _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_srli_si128(bytes, 8))), ones, 0x88);
        const __m128 weight =
            _mm_and_ps(_mm_setr_ps(weights[weightAt[i]], weights[weightAt[i + 1]],
                                   weights[weightAt[i + 2]], weights[weightAt[i + 3]]),
                       _mm_load_ps(reinterpret_cast<const float*>(seenAt + i)));
        const __m256 weightLanes = _mm256_castps128_ps256(weight);
        _mm256_storeu_ps(
            cell,
            _mm256_add_ps(_mm256_loadu_ps(cell),
                          _mm256_mul_ps(first, _mm256_permutevar8x32_ps(weightLanes, firstPair))));
        _mm256_storeu_ps(
            cell + 8, _mm256_add_ps(_mm256_loadu_ps(cell + 8),
                                    _mm256_mul_ps(second, _mm256_permutevar8x32_ps(weightLanes,
                                                                                   secondPair))));
      }
    }
  }
}

// fillCells eight floats per store.
__attribute__((target("avx2"))) void fillCellsLanes(float* cells, std::size_t count, float value) {
  const __m256 values = _mm256_set1_ps(value);
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    _mm256_storeu_ps(cells + i, values);
  }
  std::fill(cells + i, cells + count, value);
}

// finishPixel four cells at a time: two cells per 256-bit division, the packs
// saturate, a shuffle drops every fourth byte.
__attribute__((target("avx2"))) void finishPixelsLanes(const float* cells, int count,
                                                       float rounding, std::uint8_t* pixels) {
  const __m256 round = _mm256_set1_ps(rounding);
  const __m128i dropFourth = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m256 first = _mm256_loadu_ps(cells + 4 * i);
    const __m256 second = _mm256_loadu_ps(cells + 4 * i + 8);
    const __m256i v01 = _mm256_cvttps_epi32(_mm256_add_ps(
        _mm256_div_ps(first, _mm256_permute_ps(first, _MM_SHUFFLE(3, 3, 3, 3))), round));
    const __m256i v23 = _mm256_cvttps_epi32(_mm256_add_ps(
        _mm256_div_ps(second, _mm256_permute_ps(second, _MM_SHUFFLE(3, 3, 3, 3))), round));
    const __m128i words01 =
        _mm_packs_epi32(_mm256_castsi256_si128(v01), _mm256_extracti128_si256(v01, 1));
    const __m128i words23 =
        _mm_packs_epi32(_mm256_castsi256_si128(v23), _mm256_extracti128_si256(v23, 1));
    const __m128i bytes = _mm_shuffle_epi8(_mm_packus_epi16(words01, words23), dropFourth);
    std::uint8_t* out = pixels + 3 * static_cast<std::size_t>(i);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), bytes);
    const int last = _mm_cvtsi128_si32(_mm_srli_si128(bytes, 8));
    std::memcpy(out + 8, &last, 4);
  }
  for (; i < count; ++i) {
    finishPixel(cells + 4 * i, rounding, pixels + 3 * static_cast<std::size_t>(i));
  }
}

#endif

}  // namespace

void setVectorLanes(int widest) { widestLanes.store(widest); }

int vectorLanesInUse() {
  const int widest = widestLanes.load(std::memory_order_relaxed);
  if (widest >= 8 && wideLanesAvailable()) {
    return 8;
  }
  return widest >= 4 && processorHasLanes() ? 4 : 1;
}

void drawPinholeRows(const DrawJob& s, int rowFrom, int rowTo, const ViewRays& view, float* cells,
                     int firstRow) {
  const int lanes = offsetsFitLanes(s) ? vectorLanesInUse() : 1;
  if (lanes == 8) {
    drawPinholeRowsWide(s, rowFrom, rowTo, view, cells, firstRow);
    return;
  }
#if defined(PANO_AVX2_LANES)
  if (lanes == 4) {
    drawPinholeRowsLanes(s, rowFrom, rowTo, view, cells, firstRow);
    return;
  }
#endif
  drawPinholeRowsScalar(s, rowFrom, rowTo, view, cells, firstRow);
}

void fillCells(float* cells, std::size_t count, float value) {
  const int lanes = vectorLanesInUse();
  if (lanes == 8) {
    fillCellsWide(cells, count, value);
    return;
  }
#if defined(PANO_AVX2_LANES)
  if (lanes == 4) {
    fillCellsLanes(cells, count, value);
    return;
  }
#endif
  std::fill(cells, cells + count, value);
}

void finishPixels(const float* cells, int count, float rounding, std::uint8_t* pixels) {
  const int lanes = vectorLanesInUse();
  if (lanes == 8) {
    finishPixelsWide(cells, count, rounding, pixels);
    return;
  }
#if defined(PANO_AVX2_LANES)
  if (lanes == 4) {
    finishPixelsLanes(cells, count, rounding, pixels);
    return;
  }
#endif
  for (int i = 0; i < count; ++i) {
    finishPixel(cells + 4 * i, rounding, pixels + 3 * static_cast<std::size_t>(i));
  }
}

void drawLensRows(const DrawJob& s, int rowFrom, int rowTo, const ViewRays& view, float* cells,
                  int firstRow) {
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
    const double a0 = rowPart(s.ca, dy, view.fv);
    const double b0 = rowPart(s.cb, dy, view.fv);
    const double e0 = rowPart(s.ce, dy, view.fv);
    for (int from = s.columnFrom; from <= s.columnTo; from += kRun) {
      const int count = std::min(kRun, s.columnTo - from + 1);
      for (int i = 0; i < count; ++i) {
        const double dx = from + i - view.halfWidth;
        seen[i] = s.camera.projectThroughLens(s.ca[0] * dx + a0, s.cb[0] * dx + b0,
                                              s.ce[0] * dx + e0, &column[i], &row[i],
                                              &fullColumn[i], &fullRow[i]);
      }
      float* cell = cells + 4 * (static_cast<long>(y - firstRow) * view.width + from);
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
