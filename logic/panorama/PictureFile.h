#pragma once

#include <string>

#include <opencv2/core.hpp>

// Reading a panorama photograph's file at the size its description gives,
// strictly (decodePhoto): a damaged or truncated file or one over the pixel
// limit is refused with a reason, never shown as garbage.

// Why a photograph's file gave no image.
enum class PictureFileProblem {
  kNone,       // read
  kMissing,    // no regular file could be opened at the path
  kDamaged,    // damaged, truncated, or not a JPEG or PNG file
  kTooLarge,   // more pixels than kMaxPhotoPixels
  kOtherSize,  // read, but not of the described size
};

// Decodes the photograph at `path` into *out, which must be `width` x
// `height` pixels (8-bit BGR). The pixels are used as stored: an EXIF
// orientation tag is not applied, because the description's and the
// project's sizes and positions are those of the stored image (a turned
// camera's photograph would otherwise no longer fit its description). Files
// that are neither JPEG nor PNG are read by cv::imread (the strict decoder
// cannot read them; a stitcher project may name TIFF files). On any problem
// *out is emptied and *reason says why in English for the log (the path not
// repeated). Thread-safe.
PictureFileProblem readPictureFile(const std::string& path, int width, int height, cv::Mat* out,
                                   std::string* reason);

// A German sentence for the user that says what is wrong with the file (for
// kMissing and kOtherSize none: the message around it says it already).
std::string pictureFileProblemText(PictureFileProblem problem);
