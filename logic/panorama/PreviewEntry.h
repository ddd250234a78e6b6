#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

// What a cached preview was made from: the photograph's absolute path, its
// size in bytes and modification time in nanoseconds since the epoch, and a
// text naming the preview rule and everything else that shapes the preview
// (method, preview size, the photograph's described size, library version).
// Any difference in any field makes a different preview.
struct PreviewKey {
  std::string path;
  std::uint64_t fileSize = 0;
  std::int64_t mtimeNs = 0;
  std::string rule;

  bool operator==(const PreviewKey&) const = default;
};

// The bytes of one cache entry file; all integers little-endian:
//   offset  size  field
//        0     8  magic "PVPREVW\n"
//        8     4  format version (kPreviewEntryVersion)
//       12     4  path length P in bytes
//       16     4  rule length R in bytes
//       20     4  rows
//       24     4  columns
//       28     4  channels (1 or 3; every channel is 8 bits)
//       32     8  photograph file size in bytes
//       40     8  photograph modification time, nanoseconds (signed)
//       48     8  payload length L = rows * columns * channels
//       56     P  path
//     56+P     R  rule
//   56+P+R     L  pixels, rows from the top, channels interleaved as in cv::Mat
//   56+P+R+L   8  checksum64 (seed 0) of every byte before it
// The whole entry is 64 + P + R + L bytes.
constexpr std::uint32_t kPreviewEntryVersion = 1;
constexpr std::size_t kPreviewEntryFixedBytes = 64;
// Limits an entry must keep: longer paths or rules, larger images are not
// cached (and entries that claim them are damaged).
constexpr std::size_t kPreviewMaxText = 65536;
constexpr int kPreviewMaxSide = 32767;
constexpr std::size_t kPreviewMaxPayload = std::size_t{1} << 24;  // 16 MiB

// 64-bit FNV-1a over the key's fields (path, a 0 byte, size and time as 8
// little-endian bytes each, rule), used to name the entry file; the key
// stored inside the entry decides whether it matches.
std::uint64_t previewKeyHash(const PreviewKey& key);

// The XXH64 hash of `length` bytes at `data` with `seed` (a fast 64-bit
// checksum; 8 bytes per step in four independent lanes).
std::uint64_t checksum64(const void* data, std::size_t length, std::uint64_t seed = 0);

// The entry bytes for `preview` made under `key`. False (and *bytes left
// alone) when the image is empty, not 8-bit with 1 or 3 channels, not 2-D, or
// beyond the limits above. A non-continuous image (a region) is fine.
bool encodePreviewEntry(const PreviewKey& key, const cv::Mat& preview, std::vector<unsigned char>* bytes);

// Reads an entry. True, with *preview a new image holding exactly the stored
// pixels, only when the bytes are a complete, undamaged entry of this format
// version, made under exactly `key`, and (when `expected` is not empty) of
// that width and height. Anything else - truncated, extended, garbage,
// another key, a checksum that does not match - gives false and leaves
// *preview alone.
bool decodePreviewEntry(const unsigned char* bytes, std::size_t length, const PreviewKey& key,
                        cv::Size expected, cv::Mat* preview);
