// Feeds arbitrary bytes to the panorama description reader as the XML file,
// once in a directory with photographs beside it and once in an empty one
// (chosen by the first byte), so that both the layout checks and the
// preview building run on hostile input.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include <opencv2/imgcodecs.hpp>

#include "panorama/PicManager.h"

namespace {

struct Dirs {
  std::filesystem::path withPhotos;
  std::filesystem::path empty;
};

const Dirs& dirs() {
  static const Dirs d = [] {
    Dirs made;
    const auto base = std::filesystem::temp_directory_path() /
                      ("pano-fuzz-" + std::to_string(::getpid()));
    made.withPhotos = base / "photos";
    made.empty = base / "empty";
    std::filesystem::create_directories(made.withPhotos);
    std::filesystem::create_directories(made.empty);
    // Photographs 0 ... 3 of 30 x 20 pixels, and one of another size.
    for (int id = 0; id < 4; ++id) {
      cv::Mat photo(20, 30, CV_8UC3, cv::Scalar(40 * id, 100, 200));
      cv::imwrite((made.withPhotos / (std::to_string(id) + ".jpg")).string(), photo);
    }
    cv::imwrite((made.withPhotos / "7.jpg").string(), cv::Mat(7, 9, CV_8UC3, cv::Scalar(1, 2, 3)));
    return made;
  }();
  return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bool photos = size > 0 && (data[0] & 1);
  const auto file = (photos ? dirs().withPhotos : dirs().empty) / "pano.xml";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (size > 1) out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
  }
  PicManager manager;
  const int status = manager.openPanorama(file.string().c_str());
  if (status == PicManager::kRead) {
    // A successful read must leave exactly the pictures 0 ... n-1.
    for (int id = 0; id < manager.pictureCount; ++id) {
      if (manager.findById(id) == nullptr || manager.findById(id)->preview.empty()) __builtin_trap();
    }
  } else if (!manager.pictures.empty() && manager.count != 0) {
    __builtin_trap();
  }
  return 0;
}
