#include "geometry/WideLanes.h"

#include <algorithm>
#include <cstring>

#include "geometry/DrawJob.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define PANO_WIDE_LANES 1
// The build compiles this file without contracting products into sums
// (-ffp-contract=off): a fused multiply-add would round differently from the
// one-pixel code.
#define PANO_WIDE __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl")))
// The compiler's 512-bit intrinsics start their results from a deliberately
// undefined vector, which it then reports as possibly uninitialised.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace {

// View pixels projected before their samples are read: enough for the reads
// of one run to overlap, few enough that the run's offsets stay in the cache.
constexpr int kRun = 128;

}  // namespace

bool wideLanesAvailable() {
#if defined(PANO_WIDE_LANES)
  static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                          __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
  return has;
#else
  return false;
#endif
}

#if defined(PANO_WIDE_LANES)

PANO_WIDE void drawPinholeRowsWide(const DrawJob& s, int rowFrom, int rowTo, const ViewRays& view,
                                   float* cells, int firstRow) {
  const PhotoCamera& camera = s.camera;
  const __m512d ca = _mm512_set1_pd(s.ca[0]);
  const __m512d cb = _mm512_set1_pd(s.cb[0]);
  const __m512d ce = _mm512_set1_pd(s.ce[0]);
  const __m512d focal = _mm512_set1_pd(camera.focalPixels());
  const __m512d halfWidth = _mm512_set1_pd(camera.halfWidth());
  const __m512d halfHeight = _mm512_set1_pd(camera.halfHeight());
  const __m512d lastColumn = _mm512_set1_pd(camera.lastColumn());
  const __m512d lastRow = _mm512_set1_pd(camera.lastRow());
  const __m512d zero = _mm512_setzero_pd();
  const __m512d eight = _mm512_set1_pd(8.0);
  const __m512d lane = _mm512_setr_pd(0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0);
  const std::uint8_t* image = s.image.data;
  const __m256i step = _mm256_set1_epi32(static_cast<int>(s.image.step[0]));
  // Small images read each pixel's weight from their own table (row by
  // row), large ones through the map's axis tables or, at the map's own
  // size, by folding their position into the map's quadrant.
  const float* pixelWeights = s.pixelWeights ? s.pixelWeights->data() : nullptr;
  const float* weights = s.weightValues();
  const __m256i pixelWeightsWidth = _mm256_set1_epi32(s.image.cols);
  const __m256i foldColumn = _mm256_set1_epi32(s.foldColumn);
  const __m256i foldRow = _mm256_set1_epi32(s.foldRow);
  const __m256i weightStride = _mm256_set1_epi32(s.weightStride);
  const __m512 ones = _mm512_set1_ps(1.0f);
  const __m512i spread = _mm512_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3);
  // Per view pixel of a run: the byte offset of its photograph pixel, the
  // index of its weight (or its photograph row and column, to look it up),
  // and all ones where the photograph sees it. A pixel it does not see reads
  // the first pixel and the first weight and adds them with weight 0, which
  // leaves its sums exactly as they are.
  alignas(64) int pixelAt[kRun];
  alignas(64) int weightAt[kRun];
  alignas(64) int rowAt[kRun];
  alignas(64) int columnAt[kRun];
  alignas(64) int seenAt[kRun];
  for (int y = rowFrom; y < rowTo; ++y) {
    const double dy = y - view.halfHeight;
    const __m512d a0 = _mm512_set1_pd(rowPart(s.ca, dy, view.fv));
    const __m512d b0 = _mm512_set1_pd(rowPart(s.cb, dy, view.fv));
    const __m512d e0 = _mm512_set1_pd(rowPart(s.ce, dy, view.fv));
    float* rowCells = cells + 4 * static_cast<long>(y - firstRow) * view.width;
    // dx = x - halfWidth in every lane; the steps of eight are exact (whole
    // and half numbers far below 2^52), so each lane holds the very dx the
    // one-pixel code computes.
    __m512d dx =
        _mm512_sub_pd(_mm512_add_pd(_mm512_set1_pd(static_cast<double>(s.columnFrom)), lane),
                      _mm512_set1_pd(view.halfWidth));
    for (int from = s.columnFrom; from <= s.columnTo; from += kRun) {
      const int count = std::min(kRun, s.columnTo - from + 1);
      unsigned anySeen = 0;
      for (int i = 0; i < count; i += 8, dx = _mm512_add_pd(dx, eight)) {
        const __m512d a = _mm512_add_pd(_mm512_mul_pd(ca, dx), a0);
        const __m512d b = _mm512_add_pd(_mm512_mul_pd(cb, dx), b0);
        const __m512d e = _mm512_add_pd(_mm512_mul_pd(ce, dx), e0);
        const __m512d q = _mm512_div_pd(focal, e);
        const __m512d column = _mm512_add_pd(halfWidth, _mm512_mul_pd(a, q));
        const __m512d row = _mm512_add_pd(halfHeight, _mm512_mul_pd(b, q));
        __mmask8 seen = _mm512_cmp_pd_mask(e, zero, _CMP_GT_OQ);
        seen = _mm512_mask_cmp_pd_mask(seen, column, zero, _CMP_GE_OQ);
        seen = _mm512_mask_cmp_pd_mask(seen, column, lastColumn, _CMP_LT_OQ);
        seen = _mm512_mask_cmp_pd_mask(seen, row, zero, _CMP_GE_OQ);
        seen = _mm512_mask_cmp_pd_mask(seen, row, lastRow, _CMP_LT_OQ);
        if (count - i < 8) {
          seen &= static_cast<__mmask8>((1u << (count - i)) - 1);
        }
        anySeen |= seen;
        const __m256i ci = _mm256_maskz_mov_epi32(seen, _mm512_cvttpd_epi32(column));
        const __m256i ri = _mm256_maskz_mov_epi32(seen, _mm512_cvttpd_epi32(row));
        const __m256i bytes = _mm256_add_epi32(_mm256_mullo_epi32(ri, step),
                                               _mm256_add_epi32(ci, _mm256_add_epi32(ci, ci)));
        _mm256_store_si256(reinterpret_cast<__m256i*>(pixelAt + i), bytes);
        _mm256_store_si256(reinterpret_cast<__m256i*>(seenAt + i),
                           _mm256_maskz_set1_epi32(seen, -1));
        if (pixelWeights != nullptr) {
          _mm256_store_si256(reinterpret_cast<__m256i*>(weightAt + i),
                             _mm256_add_epi32(_mm256_mullo_epi32(ri, pixelWeightsWidth), ci));
        } else if (s.weightsFolded) {
          const __m256i mapColumn =
              _mm256_sub_epi32(foldColumn, _mm256_abs_epi32(_mm256_sub_epi32(ci, foldColumn)));
          const __m256i mapRow =
              _mm256_sub_epi32(foldRow, _mm256_abs_epi32(_mm256_sub_epi32(ri, foldRow)));
          _mm256_store_si256(reinterpret_cast<__m256i*>(weightAt + i),
                             _mm256_add_epi32(_mm256_mullo_epi32(mapRow, weightStride), mapColumn));
        } else {
          _mm256_store_si256(reinterpret_cast<__m256i*>(rowAt + i), ri);
          _mm256_store_si256(reinterpret_cast<__m256i*>(columnAt + i), ci);
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
        // Each pixel is read as four bytes (blue, green, red and one of the
        // next pixel, which exists: the last column is never sampled); the
        // fourth lane becomes 1, so that it sums the weight.
        int p[4];
        for (int k = 0; k < 4; ++k) {
          std::memcpy(&p[k], image + pixelAt[i + k], 4);
        }
        const __m128 weight =
            _mm_and_ps(_mm_setr_ps(weights[weightAt[i]], weights[weightAt[i + 1]],
                                   weights[weightAt[i + 2]], weights[weightAt[i + 3]]),
                       _mm_load_ps(reinterpret_cast<const float*>(seenAt + i)));
        const __m512 sample = _mm512_mask_blend_ps(
            0x8888,
            _mm512_cvtepi32_ps(_mm512_cvtepu8_epi32(_mm_setr_epi32(p[0], p[1], p[2], p[3]))), ones);
        const __m512 product =
            _mm512_mul_ps(sample, _mm512_permutexvar_ps(spread, _mm512_castps128_ps512(weight)));
        if (count - i >= 4) {
          _mm512_storeu_ps(cell, _mm512_add_ps(_mm512_loadu_ps(cell), product));
        } else {
          // The row's last cells: the ones past the job's last column are
          // neither read nor written.
          const __mmask16 inside = static_cast<__mmask16>((1u << (4 * (count - i))) - 1);
          _mm512_mask_storeu_ps(cell, inside,
                                _mm512_add_ps(_mm512_maskz_loadu_ps(inside, cell), product));
        }
      }
    }
  }
}

PANO_WIDE void fillCellsWide(float* cells, std::size_t count, float value) {
  const __m512 values = _mm512_set1_ps(value);
  std::size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    _mm512_storeu_ps(cells + i, values);
  }
  if (i < count) {
    _mm512_mask_storeu_ps(cells + i, static_cast<__mmask16>((1u << (count - i)) - 1), values);
  }
}

namespace {

// Four cells' pixels in the first twelve bytes: their channel sums divided by
// their weight sums, plus `round`, truncated and saturated.
PANO_WIDE inline __m128i finishFour(__m512 sums, __m512 round) {
  const __m512 weights = _mm512_permute_ps(sums, _MM_SHUFFLE(3, 3, 3, 3));
  const __m512i values = _mm512_cvttps_epi32(_mm512_add_ps(_mm512_div_ps(sums, weights), round));
  const __m512i clamped =
      _mm512_min_epi32(_mm512_max_epi32(values, _mm512_setzero_si512()), _mm512_set1_epi32(255));
  const __m128i dropFourth = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  return _mm_shuffle_epi8(_mm512_cvtepi32_epi8(clamped), dropFourth);
}

}  // namespace

// Four cells per vector: one division for the four cells' channel sums by
// their weight sums, truncation, saturation to 0 ... 255 (as the one-pixel
// code clamps), a shuffle that drops every fourth byte.
PANO_WIDE void finishPixelsWide(const float* cells, int count, float rounding,
                                std::uint8_t* pixels) {
  const __m512 round = _mm512_set1_ps(rounding);
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i bytes = finishFour(_mm512_loadu_ps(cells + 4 * i), round);
    std::uint8_t* out = pixels + 3 * static_cast<std::size_t>(i);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), bytes);
    const int last = _mm_cvtsi128_si32(_mm_srli_si128(bytes, 8));
    std::memcpy(out + 8, &last, 4);
  }
  if (i < count) {
    // The last one to three cells: the lanes past them read nothing (their
    // quotients are never stored).
    const __mmask16 inside = static_cast<__mmask16>((1u << (4 * (count - i))) - 1);
    alignas(16) std::uint8_t bytes[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(bytes),
                    finishFour(_mm512_maskz_loadu_ps(inside, cells + 4 * i), round));
    std::memcpy(pixels + 3 * static_cast<std::size_t>(i), bytes,
                3 * static_cast<std::size_t>(count - i));
  }
}

#else

void drawPinholeRowsWide(const DrawJob&, int, int, const ViewRays&, float*, int) {}
void fillCellsWide(float*, std::size_t, float) {}
void finishPixelsWide(const float*, int, float, std::uint8_t*) {}

#endif
