#include "base/ImageMemory.h"

#include <cstdlib>  // defines __GLIBC__ on the GNU C library

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void tuneMemoryForImages() {
#if defined(__GLIBC__)
  // Blocks up to 64 MB (a 21-megapixel photograph) come from the heap, which
  // is trimmed only beyond kKeptFreeBytes of free memory at its top.
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, static_cast<int>(kKeptFreeBytes));
  mallopt(M_ARENA_MAX, 1);
#endif
}
