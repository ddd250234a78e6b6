#pragma once

#include <opencv2/core.hpp>

// Sets the C library's allocator up for a program that decodes, scales and
// frees many images of several megabytes: such blocks are kept in one heap
// and reused instead of being handed back to the kernel when freed and
// faulted in page by page when the next photograph is decoded (opening a
// panorama of 28 photographs of 6 megapixels took a third of its time in
// page faults), and the decoding threads share that heap rather than each
// keeping its own. Up to kKeptFreeBytes of freed memory stay with the
// program. Images of 2 MB and more come from an ImageBlockPool in huge pages
// instead (not in sanitizer builds, whose bound checks need the C library's
// blocks). Call it at the start of main, before any thread is started; the
// C library's settings are left out where it has none.
void tuneMemoryForImages();

// Freed memory the allocator keeps for reuse after tuneMemoryForImages.
constexpr long kKeptFreeBytes = 256L << 20;
// Freed image blocks kept for reuse (see ImageBlockPool), which
// tuneMemoryForImages makes the images' allocator.
constexpr long kKeptImageBytes = 128L << 20;

// Copies `source` into `target`, which must already have its size and type
// (the caller checks). Images of several megabytes are copied in bands of
// rows over the cores: one thread alone does not reach the memory's
// bandwidth, and the views of a 4K window are 25 MB each.
void copyImagePixels(const cv::Mat& source, cv::Mat& target);
