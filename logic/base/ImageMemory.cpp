#include "base/ImageMemory.h"

#include <cstdlib>  // defines __GLIBC__ on the GNU C library

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
}
