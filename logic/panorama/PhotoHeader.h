#pragma once

#include <cstdint>
#include <string>

// What the photograph readers know of a file before its pixels are decoded,
// and the pixel limit both the JPEG and the PNG path apply.

// Formats a photograph may come in, told by the file's first bytes.
enum class PhotoFormat { kJpeg, kPng };

// What a photograph file's header says.
struct PhotoHeader {
  PhotoFormat format = PhotoFormat::kJpeg;
  int width = 0;   // pixels
  int height = 0;  // pixels
  // Components stored in the file. JPEG: 1 grey, 3 colour, 4 CMYK or YCCK;
  // PNG: 1 grey, 2 grey and alpha, 3 colour or palette, 4 colour and alpha.
  int components = 0;
};

// The largest photograph decodePhoto opens by default: 200 megapixels, an
// 8-bit BGR image of 600 MB.
inline constexpr std::uint64_t kMaxPhotoPixels = 200'000'000;

// True when an image of width x height pixels is within `maxPixels`;
// otherwise false with a reason that names the size and the limit in
// megapixels.
bool photoWithinLimit(int width, int height, std::uint64_t maxPixels, std::string* reason);
