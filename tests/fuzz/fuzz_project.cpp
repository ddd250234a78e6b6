// Feeds arbitrary bytes to the stitcher project reader as a ".pto" file in a
// folder that holds photographs of known sizes, a PNG, a subfolder and the
// things that are no photographs (a FIFO, a directory, a link loop), so that
// the statements, the image assembly and the photograph lookup all run on
// hostile input. A project that is read must satisfy every promise the
// reader makes about it.
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <opencv2/imgcodecs.hpp>

#include "panorama/PtoReader.h"
#include "panorama/PtoStatements.h"

namespace {

const std::string kPrefix = "pano-fuzz-project-";

// The libFuzzer driver ends without running exit handlers, so each run
// removes the folders of earlier runs whose process is gone.
void removeLeftovers(const std::filesystem::path& parent) {
  std::error_code failed;
  for (const auto& entry : std::filesystem::directory_iterator(parent, failed)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(kPrefix, 0) != 0) continue;
    const long pid = std::strtol(name.c_str() + kPrefix.size(), nullptr, 10);
    if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
      std::filesystem::remove_all(entry.path(), failed);
    }
  }
}

const std::filesystem::path& folder() {
  static const std::filesystem::path made = [] {
    // Memory-backed when possible: rewriting the project file on a disk
    // costs milliseconds per run, in memory microseconds.
    std::error_code none;
    const bool shm = std::filesystem::is_directory("/dev/shm", none);
    const auto parent = shm ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path();
    removeLeftovers(parent);
    const auto base = parent / (kPrefix + std::to_string(::getpid()));
    std::filesystem::create_directories(base / "sub");
    // Photographs 0 ... 3 of 30 x 20 pixels, a.jpg 40 x 30, sub/b.jpg 30 x 20, p.png 10 x 10.
    for (int id = 0; id < 4; ++id) {
      cv::imwrite((base / (std::to_string(id) + ".jpg")).string(), cv::Mat(20, 30, CV_8UC3, cv::Scalar(id, 2, 3)));
    }
    cv::imwrite((base / "a.jpg").string(), cv::Mat(30, 40, CV_8UC3, cv::Scalar(9, 9, 9)));
    cv::imwrite((base / "sub/b.jpg").string(), cv::Mat(20, 30, CV_8UC3, cv::Scalar(9, 9, 9)));
    cv::imwrite((base / "p.png").string(), cv::Mat(10, 10, CV_8UC3, cv::Scalar(9, 9, 9)));
    mkfifo((base / "fifo.jpg").c_str(), 0600);
    std::filesystem::create_directories(base / "dir.jpg");
    std::error_code ignored;
    std::filesystem::create_symlink("loop.jpg", base / "loop.jpg", ignored);
    return base;
  }();
  return made;
}

bool isFinite(double value) { return std::isfinite(value); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto file = folder() / "project.pto";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  PtoReader reader;
  if (!reader.read(file.string())) {
    if (reader.error().empty() || !reader.project().images.empty()) __builtin_trap();
    return 0;
  }
  const PtoProject& project = reader.project();
  if (!reader.error().empty() || project.images.empty() || project.images.size() > kPtoMaxImages) __builtin_trap();
  for (const PtoImage& image : project.images) {
    const bool size = image.width >= 1 && image.height >= 1 && image.width <= kPtoMaxSide &&
                      image.height <= kPtoMaxSide && double(image.width) * image.height <= kPtoMaxPixels;
    const bool values = isFinite(image.yaw) && isFinite(image.pitch) && isFinite(image.roll) && isFinite(image.a) &&
                        isFinite(image.b) && isFinite(image.c) && isFinite(image.d) && isFinite(image.e) &&
                        isFinite(image.eev) && image.er > 0 && image.eb > 0 && isFinite(image.er) &&
                        isFinite(image.eb) && isFinite(image.va) && isFinite(image.vb) && isFinite(image.vc) &&
                        isFinite(image.vd) && isFinite(image.vx) && isFinite(image.vy);
    const bool fov = image.hfov > 0 && image.hfov <= 360 && (image.projection != 0 || image.hfov < 180);
    const bool plausible = std::fabs(image.yaw) <= 36000 && std::fabs(image.eev) <= 100 && image.er <= 1000;
    if (!size || !values || !fov || !plausible || image.disabled || image.path.empty() || image.fileName.empty()) {
      __builtin_trap();
    }
    if (image.crop.present && (image.crop.left >= image.crop.right || image.crop.top >= image.crop.bottom)) {
      __builtin_trap();
    }
    for (const PtoMask& mask : image.masks) {
      if (mask.points.size() < 3 || mask.type < 0 || mask.type > 4) __builtin_trap();
    }
    struct stat info {};
    if (::stat(image.path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) __builtin_trap();
  }
  return 0;
}
