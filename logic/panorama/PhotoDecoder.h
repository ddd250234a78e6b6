#pragma once

#include <cstdint>
#include <string>

#include <opencv2/core.hpp>

#include "panorama/PhotoHeader.h"

// Reading a photograph file into an 8-bit BGR image, strictly: a damaged
// file is refused with a reason instead of being shown as garbage, only
// regular files are read (see RegularFile), an image larger than a pixel
// limit is refused from its header before anything is decoded, and the
// pixels are used as stored (an EXIF orientation tag is never applied, so
// the image keeps the size the file declares).
//
// JPEG files go through JpegDecoder (libjpeg-turbo), whose pixels are
// byte-identical to OpenCV's imread(IMREAD_COLOR) for every file both accept.
// PNG files (whatever their name) are decoded by OpenCV from the bytes read
// here, after their header has passed the pixel limit; libpng refuses
// damaged chunks. OpenCV's own limit (OPENCV_IO_MAX_IMAGE_PIXELS, 2^30 by
// default, read once when the library loads, so not settable per call)
// throws from imread rather than returning an empty image, and is only a
// second line here. Any other format is refused: its size cannot be checked
// before decoding.
//
// Reasons are short English texts for the log; they do not repeat the path.

// Reads the header of the photograph at `path` without decoding the image
// data (a JPEG is read up to its first scan, a PNG up to its first chunk).
// False with *reason when the file cannot be opened, is neither JPEG nor
// PNG, or its header is damaged or incomplete. No pixel limit applies here.
bool readPhotoHeader(const std::string& path, PhotoHeader* header, std::string* reason);

// Decodes the photograph at `path` into *out: a new 8-bit BGR image of the
// size the header declares (grey and CMYK/YCCK JPEGs converted as
// imread(IMREAD_COLOR) converts them; a PNG's alpha dropped, 16 bits cut to
// 8). Images of more than `maxPixels` pixels are refused before any image
// memory is taken. Every decoder warning (corrupt data, premature end,
// extraneous bytes, ...) fails the decoding. On failure *out is emptied and
// *reason says why. Thread-safe: calls share no state.
bool decodePhoto(const std::string& path, cv::Mat* out, std::string* reason,
                 std::uint64_t maxPixels = kMaxPhotoPixels);
