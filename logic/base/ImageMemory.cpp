#include "base/ImageMemory.h"

#include "base/ImageBlockPool.h"
#include "base/ParallelFor.h"

#include <cstdlib>  // defines __GLIBC__ on the GNU C library
#include <cstring>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void tuneMemoryForImages() {
#if defined(__GLIBC__)
  // Blocks up to 128 MB (a 44-megapixel photograph) come from the heap,
  // which is trimmed only beyond kKeptFreeBytes of free memory at its top.
  // Above 64 MB each decode of a 24-megapixel photograph was mapped afresh:
  // opening 152 of them spent 22 of its 28 seconds in page faults.
  mallopt(M_MMAP_THRESHOLD, 128 << 20);
  mallopt(M_TRIM_THRESHOLD, static_cast<int>(kKeptFreeBytes));
  mallopt(M_ARENA_MAX, 1);
#endif
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  // Large images in blocks of huge pages (the address sanitizer's checks of
  // image bounds need the C library's allocations). The pool lives as long
  // as the program: images may be freed as late as its exit.
  static ImageBlockPool* const pool = new ImageBlockPool(kKeptImageBytes);
  cv::Mat::setDefaultAllocator(pool);
#endif
}

void copyImagePixels(const cv::Mat& source, cv::Mat& target) {
  // Below this many bytes starting threads costs more than it saves.
  constexpr std::size_t kParallelBytes = 4u << 20;
  const std::size_t rowBytes = source.cols * source.elemSize();
  if (rowBytes * source.rows < kParallelBytes || source.data == target.data) {
    source.copyTo(target);
    return;
  }
  parallelRows(
      source.rows,
      [&](int from, int to) {
        for (int row = from; row < to; ++row) {
          std::memcpy(target.ptr(row), source.ptr(row), rowBytes);
        }
      },
      0, 64, 1);
}
