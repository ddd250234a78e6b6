// Times the strict photograph decoder against cv::imread(IMREAD_COLOR) on
// 3000 x 2000 photographs (smooth, and with sensor-like grain: Gaussian
// noise of sigma 4; baseline and progressive), checks that both give the
// same bytes, and prints the medians in milliseconds: wall time, and the
// calling thread's processor time, which a busy machine disturbs less. Both
// calls replace the same image, as `image = cv::imread(path)` does, so that
// the memory allocator sees the same pattern.
//   panorama-decode-bench [RUNS] [WIDTH HEIGHT]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "panorama/PhotoDecoder.h"

namespace {

cv::Mat photograph(int width, int height, double sigma) {
  cv::Mat smooth(height, width, CV_32FC3);
  for (int y = 0; y < height; ++y) {
    auto* row = smooth.ptr<cv::Vec3f>(y);
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) {
        row[x][c] = static_cast<float>(128.0 + 100.0 * std::sin(0.004 * (c + 1) * x + 0.003 * y + c));
      }
    }
  }
  if (sigma > 0.0) {
    cv::Mat noise(height, width, CV_32FC3);
    cv::RNG rng(7);
    rng.fill(noise, cv::RNG::NORMAL, 0.0, sigma);
    smooth += noise;
  }
  cv::Mat photo;
  smooth.convertTo(photo, CV_8UC3);
  return photo;
}

double threadMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct Timing {
  std::vector<double> wall;
  std::vector<double> cpu;

  void measure(const auto& work) {
    const double cpuStart = threadMilliseconds();
    const auto start = std::chrono::steady_clock::now();
    work();
    wall.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    cpu.push_back(threadMilliseconds() - cpuStart);
  }
};

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  const int width = argc > 3 ? std::atoi(argv[2]) : 3000;
  const int height = argc > 3 ? std::atoi(argv[3]) : 2000;
  const auto dir = std::filesystem::temp_directory_path() / "pano-decode-bench";
  std::filesystem::create_directories(dir);
  struct Kind {
    const char* name;
    double sigma;
    bool progressive;
  };
  const Kind kinds[] = {{"smooth", 0.0, false}, {"grain", 4.0, false}, {"smooth progressive", 0.0, true},
                        {"grain progressive", 4.0, true}};
  std::printf("%d x %d pixels, medians of %d runs\n", width, height, runs);
  int status = 0;
  for (const Kind& kind : kinds) {
    const std::string path = (dir / "photo.jpg").string();
    cv::imwrite(path, photograph(width, height, kind.sigma),
                {cv::IMWRITE_JPEG_QUALITY, 95, cv::IMWRITE_JPEG_PROGRESSIVE, kind.progressive ? 1 : 0});
    const auto bytes = std::filesystem::file_size(path);
    cv::Mat reference = cv::imread(path, cv::IMREAD_COLOR);
    cv::Mat ours;
    std::string reason;
    if (!decodePhoto(path, &ours, &reason) || ours.size() != reference.size() ||
        cv::norm(ours, reference, cv::NORM_INF) != 0.0) {
      std::printf("%s: NOT IDENTICAL (%s)\n", kind.name, reason.c_str());
      status = 1;
    }
    Timing imread;
    Timing decoder;
    for (int run = 0; run < runs; ++run) {
      imread.measure([&] { reference = cv::imread(path, cv::IMREAD_COLOR); });
      decoder.measure([&] { decodePhoto(path, &ours, &reason); });
    }
    std::printf("%-19s %4.2f MB  imread %6.1f ms (cpu %6.1f)  decodePhoto %6.1f ms (cpu %6.1f)\n",
                kind.name, static_cast<double>(bytes) / 1e6, median(imread.wall), median(imread.cpu),
                median(decoder.wall), median(decoder.cpu));
  }
  std::filesystem::remove_all(dir);
  return status;
}
