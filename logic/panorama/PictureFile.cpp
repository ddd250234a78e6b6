#include "panorama/PictureFile.h"

#include <algorithm>
#include <cstdint>
#include <fstream>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "base/RegularFile.h"
#include "panorama/PhotoDecoder.h"
#include "panorama/PhotoHeader.h"

namespace {

// True when the file starts like a JPEG or a PNG file, the formats the
// strict decoder reads (and can tell damaged).
bool strictFormat(const std::string& path) {
  unsigned char head[8] = {};
  std::ifstream file(path, std::ios::binary);
  file.read(reinterpret_cast<char*>(head), sizeof head);
  const std::streamsize length = file.gcount();
  const bool jpeg = length >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
  const unsigned char png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  return jpeg || (length == 8 && std::equal(head, head + 8, png));
}

}  // namespace

PictureFileProblem readPictureFile(const std::string& path, int width, int height, cv::Mat* out,
                                   std::string* reason) {
  out->release();
  reason->clear();
  if (probeRegularFile(path) != FileProblem::kNone) {
    *reason = "no regular file at the path";
    return PictureFileProblem::kMissing;
  }
  // A photograph described larger than the limit is refused before its file
  // is read; a file larger than described is refused from its header.
  if (!photoWithinLimit(width, height, kMaxPhotoPixels, reason)) {
    return PictureFileProblem::kTooLarge;
  }
  cv::Mat decoded;
  if (!decodePhoto(path, &decoded, reason) && !strictFormat(path)) {
    // Other formats (a stitcher project may name TIFF files) are read by
    // OpenCV as before; only the size check below guards them.
    decoded = cv::imread(path, cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
    if (!decoded.empty()) {
      reason->clear();
    }
  }
  if (decoded.empty()) {
    PhotoHeader header;
    std::string ignored;
    if (readPhotoHeader(path, &header, &ignored) &&
        !photoWithinLimit(header.width, header.height, kMaxPhotoPixels, &ignored)) {
      return PictureFileProblem::kTooLarge;
    }
    return PictureFileProblem::kDamaged;
  }
  // A file whose size differs from the description would make every later
  // pixel lookup wrong (or out of bounds).
  if (decoded.cols != width || decoded.rows != height) {
    *reason = "the file holds " + std::to_string(decoded.cols) + " x " +
              std::to_string(decoded.rows) + " pixels, the description " + std::to_string(width) +
              " x " + std::to_string(height);
    return PictureFileProblem::kOtherSize;
  }
  *out = decoded;
  return PictureFileProblem::kNone;
}

std::string pictureFileProblemText(PictureFileProblem problem) {
  switch (problem) {
    case PictureFileProblem::kDamaged:
      return "Die Datei ist beschädigt, unvollständig oder kein JPEG- oder PNG-Bild.";
    case PictureFileProblem::kTooLarge:
      return "Das Bild hat mehr als 200 Megapixel.";
    case PictureFileProblem::kNone:
    case PictureFileProblem::kMissing:
    case PictureFileProblem::kOtherSize:
      break;
  }
  return "";
}
