// Decodes every JPEG photograph of a directory at full size with cv::imread,
// one after the other, and prints the total time: the least work that
// opening a panorama can do.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: panorama-decode-floor DIRECTORY\n");
    return 2;
  }
  std::vector<std::string> files;
  std::error_code failed;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1], failed)) {
    if (entry.path().extension() == ".jpg") files.push_back(entry.path().string());
  }
  if (failed) {
    std::fprintf(stderr, "cannot list %s\n", argv[1]);
    return 1;
  }
  const auto start = std::chrono::steady_clock::now();
  std::size_t pixels = 0;
  for (const auto& file : files) {
    pixels += cv::imread(file, cv::IMREAD_COLOR).total();
  }
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("{\"photos\":%zu, \"megapixels\":%.1f, \"decode_ms\":%.1f}\n", files.size(),
              pixels / 1e6, ms);
  return 0;
}
