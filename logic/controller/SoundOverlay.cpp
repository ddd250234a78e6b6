#include "controller/SoundOverlay.h"

#include <cstdint>
#include <cstring>

#include "base/ParallelFor.h"
#include "base/TextFormat.h"
#include "controller/SoundMapOptions.h"
#include "sound/SoundData.h"
#include "sound/SoundLegend.h"
#include "sound/SoundPeak.h"
#include "sound/SoundRays.h"

namespace {

// Below this many rows per thread the threshold runs on the calling thread.
constexpr int kRowsPerThread = 512;

void requireSize(const cv::Mat& image, const cv::Mat& display, int type) {
  if (image.size() != display.size() || image.type() != type) {
    CV_Error(cv::Error::StsUnmatchedSizes,
             formatText("image of %dx%d used with an image of %dx%d", image.cols, image.rows,
                        display.cols, display.rows));
  }
}

// The end of the run of mask bytes equal to mask[from] that starts at `from`
// (at most `width`), comparing eight bytes at a time where it can.
int runEnd(const unsigned char* mask, int from, int width) {
  const unsigned char kind = mask[from];
  const std::uint64_t whole = kind != 0 ? ~std::uint64_t{0} : 0;
  int end = from + 1;
  while (end + 8 <= width) {
    std::uint64_t eight;
    std::memcpy(&eight, mask + end, sizeof eight);
    if (eight != whole) break;
    end += 8;
  }
  while (end < width && mask[end] == kind) ++end;
  return end;
}

}  // namespace

void selectByThreshold(cv::Mat& display, const cv::Mat& drawn, const cv::Mat& hidden,
                       const cv::Mat& values, float threshold) {
  if (display.type() != CV_8UC3) {
    CV_Error(cv::Error::StsUnsupportedFormat, "the display image is not 8-bit with 3 channels");
  }
  requireSize(drawn, display, CV_8UC3);
  requireSize(values, display, CV_32F);
  if (!hidden.empty()) {
    requireSize(hidden, display, CV_8UC3);
  }
  const int width = display.cols;
  // Rows are independent; large images are spread over the cores (small
  // ones are done faster than threads start).
  parallelRows(display.rows, [&](int from, int to) {
    cv::Mat band;  // 255 where drawn
    cv::compare(values.rowRange(from, to), threshold, band, cv::CMP_GE);
    for (int y = from; y < to; ++y) {
      const unsigned char* mask = band.ptr<unsigned char>(y - from);
      unsigned char* out = display.ptr<unsigned char>(y);
      for (int x = 0; x < width;) {
        const int end = runEnd(mask, x, width);
        const std::size_t bytes = static_cast<std::size_t>(end - x) * 3;
        if (mask[x] != 0) {
          std::memcpy(out + 3 * x, drawn.ptr<unsigned char>(y) + 3 * x, bytes);
        } else if (!hidden.empty()) {
          std::memcpy(out + 3 * x, hidden.ptr<unsigned char>(y) + 3 * x, bytes);
        } else {
          std::memset(out + 3 * x, 0, bytes);
        }
        x = end;
      }
    }
  }, 0, kRowsPerThread);
}

void drawSoundMarks(cv::Mat& display, const SoundMapOptions& options, const SoundData& sound,
                    int layer, const CamData& camera) {
  SoundPeak peak;
  if (options.marker.load() && camera.width > 0 && camera.height > 0 &&
      soundPeakOf(sound, layer, &peak)) {
    const ViewRays rays =
        viewRays(camera.altitude, camera.azimuth, camera.f, camera.width, camera.height,
                 camera.sensorWidth / static_cast<double>(camera.width));
    double column = 0.0;
    double row = 0.0;
    if (directionPixel(rays, peak.altitude, peak.azimuth, &column, &row)) {
      drawPeakMarker(display, column, row);
    }
  }
  if (options.legend.load()) {
    drawSoundLegend(display, sound.getName(layer), sound);
  }
}
