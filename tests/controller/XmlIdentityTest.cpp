#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "SampleWriter.h"
#include "controller/PanController.h"
#include "support/RecordingGui.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// FNV-1a over the rows of an image (only the pixels, not the padding) or
// over a string of bytes, as 16 hex digits.
std::string checksum(const void* data, std::size_t size, std::uint64_t hash = 1469598103934665603ULL) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < size; ++i) {
    hash = (hash ^ bytes[i]) * 1099511628211ULL;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

std::string imageChecksum(const cv::Mat& image) {
  std::uint64_t hash = 1469598103934665603ULL;
  for (int row = 0; row < image.rows; ++row) {
    const unsigned char* line = image.ptr<unsigned char>(row);
    for (std::size_t i = 0; i < image.cols * image.elemSize(); ++i) {
      hash = (hash ^ line[i]) * 1099511628211ULL;
    }
  }
  return checksum(nullptr, 0, hash);
}

// The small sample with a sensor that is not the photographs' pixels times
// the photograph pitch (the sample maker always writes that), so the
// reference plane (from the sensor) and the partner plane (from the pixels)
// of an overlap differ. Empty when the sample cannot be written.
std::string oddSensorDescription(const TempDir& dir) {
  std::string error;
  if (!writeSmallSample(dir.file("sample"), &error)) {
    ADD_FAILURE() << error;
    return "";
  }
  const std::string original = dir.file("sample") + "/" + SampleWriter::kDescriptionName;
  std::string text = readWholeFile(original);
  auto replace = [&](const std::string& tag, const std::string& value) {
    const std::size_t sensor = text.find("<sensor>");
    const std::size_t open = text.find("<" + tag + ">", sensor);
    const std::size_t close = text.find("</" + tag + ">", open);
    text.replace(open + tag.size() + 2, close - open - tag.size() - 2, value);
  };
  replace("width", "6.1");
  replace("height", "3.9");
  const std::string path = dir.file("sample") + "/odd.xml";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    ADD_FAILURE() << "cannot write " << path;
    return "";
  }
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
  return path;
}

}  // namespace

// The views, refined views and weight image of a description keep their
// bytes. The weight image's checksum was recorded from the renderer before
// stitcher projects and 360-degree photographs were added; the views' were
// recorded again once loads were sized against the photographs' full size
// (the opening view is now the one that renderer showed after refining the
// same view a second time, as the view comparison over the samples shows;
// the later views follow from the sizes loaded since). A description
// whose sensor differs from its photographs' pixel size exercises both plane
// rules of the overlap computation.
TEST(XmlIdentity, ViewsOfAnOddSensorDescriptionKeepTheirBytes) {
  TempDir dir;
  const std::string path = oddSensorDescription(dir);
  ASSERT_FALSE(path.empty());
  RecordingGui window(320, 200);
  PanController controller(&window, 50.0, 1.5707963267948966, 0.0);
  controller.setSettleTiming(std::chrono::hours(1), [] { return std::time_t(0); });
  ASSERT_EQ(controller.openPanorama(path.c_str()), 0);

  struct View {
    double azimuth;
    double altitude;
    double f;
    bool refine;
  };
  const View views[] = {
      {0.0, 1.5707963267948966, 50.0, false}, {0.6, 1.9, 30.0, false}, {0.6, 1.9, 30.0, true},
      {-3.5, 0.2, 18.0, false},               {2.9, 3.0, 80.0, true},
  };
  std::vector<std::string> sums = {imageChecksum(window.lastImage())};
  for (const View& view : views) {
    controller.setCameraData(view.azimuth, view.altitude, view.f);
    if (view.refine) {
      controller.refine();
    }
    sums.push_back(imageChecksum(window.lastImage()));
  }
  const std::string lut = readWholeFile(dir.file("LUT.jpg"));
  sums.push_back(checksum(lut.data(), lut.size()));

  // The opening view, the five views above, the weight image.
  const std::vector<std::string> expected = {
      "0fa8db5a227cbdb7", "0fa8db5a227cbdb7", "e3a89237f5999588", "186f63ed26a9e50b",
      "c8954a5fdbefe70f", "88adc47e00417acd", "03ee727051f5843c",
  };
  EXPECT_EQ(sums, expected);
}
