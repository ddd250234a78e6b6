#include "panorama/PhotoDecoder.h"

#include <climits>
#include <cstdio>
#include <exception>

#include <opencv2/imgcodecs.hpp>

#include "base/RegularFile.h"
#include "panorama/JpegDecoder.h"

namespace {

// A PNG file's signature and its first chunk, which must be the header.
constexpr std::size_t kPngHeadLength = 8 + 8 + 13;
constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

std::uint32_t bigEndian32(const unsigned char* bytes) {
  return (static_cast<std::uint32_t>(bytes[0]) << 24) | (static_cast<std::uint32_t>(bytes[1]) << 16) |
         (static_cast<std::uint32_t>(bytes[2]) << 8) | bytes[3];
}

// Fills `length` bytes from the file's start as far as the file goes;
// returns the count, or -1 on a read error.
long readHead(RegularFile* file, unsigned char* head, std::size_t length, std::string* reason) {
  std::size_t filled = 0;
  while (filled < length) {
    const long count = file->read(head + filled, length - filled, reason);
    if (count < 0) return -1;
    if (count == 0) break;
    filled += static_cast<std::size_t>(count);
  }
  return static_cast<long>(filled);
}

bool isJpeg(const unsigned char* head, long length) {
  return length >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
}

bool isPng(const unsigned char* head, long length) {
  if (length < 8) return false;
  for (int i = 0; i < 8; ++i) {
    if (head[i] != kPngSignature[i]) return false;
  }
  return true;
}

// Width, height and components from the PNG header chunk.
bool parsePngHead(const unsigned char* head, long length, PhotoHeader* header, std::string* reason) {
  if (length < static_cast<long>(kPngHeadLength) || bigEndian32(head + 8) != 13 ||
      bigEndian32(head + 12) != 0x49484452u /* "IHDR" */) {
    *reason = "PNG file without a complete header";
    return false;
  }
  const std::uint32_t width = bigEndian32(head + 16);
  const std::uint32_t height = bigEndian32(head + 20);
  const int colourType = head[25];
  int components = 0;
  switch (colourType) {
    case 0: components = 1; break;
    case 2: components = 3; break;
    case 3: components = 3; break;
    case 4: components = 2; break;
    case 6: components = 4; break;
    default: break;
  }
  if (width == 0 || height == 0 || width > 0x7FFFFFFFu || height > 0x7FFFFFFFu || components == 0) {
    *reason = "PNG header with a bad size or colour type";
    return false;
  }
  header->format = PhotoFormat::kPng;
  header->width = static_cast<int>(width);
  header->height = static_cast<int>(height);
  header->components = components;
  return true;
}

// Opens `path` and reads its first bytes: the format and, for a PNG, the
// header. For a JPEG the file is left at its start for JpegDecoder.
bool openPhoto(const std::string& path, RegularFile* file, PhotoHeader* header, std::string* reason) {
  if (file->open(path, reason) != FileProblem::kNone) return false;
  unsigned char head[kPngHeadLength];
  const long length = readHead(file, head, sizeof head, reason);
  if (length < 0) return false;
  if (length == 0) {
    *reason = "empty file";
    return false;
  }
  if (isJpeg(head, length)) {
    header->format = PhotoFormat::kJpeg;
    if (!file->rewind()) {
      *reason = "cannot seek in the file";
      return false;
    }
    return true;
  }
  if (isPng(head, length)) {
    return parsePngHead(head, length, header, reason);
  }
  *reason = "neither a JPEG nor a PNG file";
  return false;
}

// The whole PNG file from memory through OpenCV (never by path: the file
// checked is the file read). OpenCV's PNG reader reports damage by an empty
// image; it applies no orientation when told to ignore it.
bool decodePng(RegularFile* file, const PhotoHeader& header, cv::Mat* out, std::string* reason) {
  if (file->size() > static_cast<std::uint64_t>(INT_MAX)) {
    *reason = "PNG file of more than 2 GB";
    return false;
  }
  if (!file->rewind()) {
    *reason = "cannot seek in the file";
    return false;
  }
  std::string bytes;
  if (!file->readRest(&bytes, reason)) return false;
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
    *reason = "PNG file of more than 2 GB";
    return false;
  }
  cv::Mat image;
  try {
    const cv::Mat data(1, static_cast<int>(bytes.size()), CV_8UC1, bytes.data());
    image = cv::imdecode(data, cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
  } catch (const std::exception&) {
    image.release();
  }
  if (image.empty() || image.type() != CV_8UC3 || image.cols != header.width ||
      image.rows != header.height) {
    *reason = "damaged or unsupported PNG data";
    return false;
  }
  *out = image;
  return true;
}

}  // namespace

bool readPhotoHeader(const std::string& path, PhotoHeader* header, std::string* reason) {
  RegularFile file;
  PhotoHeader found;
  if (!openPhoto(path, &file, &found, reason)) return false;
  if (found.format == PhotoFormat::kJpeg && !readJpegHeader(&file, &found, reason)) return false;
  *header = found;
  return true;
}

bool decodePhoto(const std::string& path, cv::Mat* out, std::string* reason, std::uint64_t maxPixels) {
  reason->clear();
  // *out is replaced only at the end: the caller's image stays valid (and
  // its memory in use) while the new one is decoded, as with
  // `image = cv::imread(path)`.
  RegularFile file;
  PhotoHeader header;
  bool decoded = false;
  if (openPhoto(path, &file, &header, reason)) {
    if (header.format == PhotoFormat::kJpeg) {
      decoded = decodeJpeg(&file, maxPixels, out, reason);
    } else if (photoWithinLimit(header.width, header.height, maxPixels, reason)) {
      decoded = decodePng(&file, header, out, reason);
    }
  }
  if (!decoded) {
    out->release();
  }
  return decoded;
}
