// Feeds arbitrary bytes to the photograph decoder as a file: the header
// reader, then the full decoder with a limit of 4 megapixels (so that a
// fuzzed header cannot make one input take seconds). A decoded image must be
// 8-bit BGR of the size the header declares.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <opencv2/core.hpp>

#include "panorama/PhotoDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path =
      (std::filesystem::temp_directory_path() / ("pano-fuzz-photo-" + std::to_string(::getpid()) + ".jpg"))
          .string();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  PhotoHeader header;
  std::string reason;
  const bool headerRead = readPhotoHeader(path, &header, &reason);
  cv::Mat image;
  if (decodePhoto(path, &image, &reason, 4'000'000)) {
    if (!headerRead || image.type() != CV_8UC3 || image.cols != header.width || image.rows != header.height) {
      std::abort();
    }
  } else if (reason.empty() || !image.empty()) {
    std::abort();
  }
  return 0;
}
