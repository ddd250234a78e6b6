#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SampleScene.h"
#include "SampleWriter.h"
#include "camera/CamData.h"
#include "geometry/APrioriOverlapper.h"
#include "geometry/Puzzler.h"
#include "panorama/PicManager.h"
#include "support/TempDir.h"

namespace {

constexpr double kPi = std::numbers::pi;

struct Comparison {
  double meanError = 0.0;  // mean absolute difference per channel
  double psnr = 0.0;       // dB
  double covered = 0.0;    // share of compared pixels that a photograph reached
};

// Compares the assembled view with the scene's own view over the pixels that
// a photograph reached (the background is exactly (1, 1, 1)).
Comparison compare(const cv::Mat& assembled, const cv::Mat& expected) {
  Comparison result;
  double absolute = 0.0;
  double squared = 0.0;
  long covered = 0;
  long pixels = 0;
  for (int row = 0; row < assembled.rows; ++row) {
    for (int column = 0; column < assembled.cols; ++column) {
      ++pixels;
      const cv::Vec3b a = assembled.at<cv::Vec3b>(row, column);
      if (a == cv::Vec3b(1, 1, 1)) {
        continue;
      }
      ++covered;
      const cv::Vec3b e = expected.at<cv::Vec3b>(row, column);
      for (int i = 0; i < 3; ++i) {
        const double d = static_cast<double>(a[i]) - e[i];
        absolute += std::fabs(d);
        squared += d * d;
      }
    }
  }
  if (covered > 0) {
    result.meanError = absolute / (3.0 * covered);
    const double mse = squared / (3.0 * covered);
    result.psnr = mse > 0.0 ? 10.0 * std::log10(255.0 * 255.0 / mse) : 99.0;
  }
  result.covered = pixels > 0 ? static_cast<double>(covered) / pixels : 0.0;
  return result;
}

class SampleFidelityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(writeSmallSample(dir.file("sample"), &error, &scene)) << error;
    const std::string description = dir.file("sample") + "/" + SampleWriter::kDescriptionName;
    ASSERT_EQ(panorama.openPanorama(description.c_str()), PicManager::kRead) << panorama.error;
    overlapper.panorama = &panorama;
    overlapper.calculateOverlap();
    puzzler = std::make_unique<Puzzler>("gaussStark", &panorama);
  }

  // The view assembled from the photographs at their full size, as the
  // picture loader prepares them for a refined view.
  cv::Mat assemble(const CamData& camera) {
    auto view = Picture::forCamera(camera);
    std::vector<Picture*> found;
    overlapper.getOverlappedPictures(view.get(), &found);
    for (Picture* photo : found) {
      photo->keepCurrent = false;
      photo->acquireImage();
    }
    puzzler->puzzleTogether(static_cast<int>(found.size()), camera.width, camera.height,
                            view.get(), camera.azimuth, camera.altitude,
                            view->lengthToPixels(camera.f));
    for (Picture* photo : found) {
      photo->releaseImage();
    }
    return view->image.clone();
  }

  TempDir dir;
  SampleScene scene;
  PicManager panorama;
  APrioriOverlapper overlapper;
  std::unique_ptr<Puzzler> puzzler;
};

TEST_F(SampleFidelityTest, AssembledViewsMatchTheSceneSeenDirectly) {
  struct Camera {
    const char* name;
    double altitude;
    double azimuth;
    double f;
  };
  const Camera cameras[] = {
      {"horizon", kPi / 2, 0.37, 50.0},
      {"looking up", 2.5, 1.3, 50.0},
      {"looking down", 0.5, -2.0, 50.0},
      {"across the azimuth seam", 1.7, 2 * kPi - 0.05, 50.0},
      {"straight up, wide", kPi, 0.8, 25.0},
      {"wide, below the horizon", 1.2, 4.0, 20.0},
  };
  for (const Camera& c : cameras) {
    SCOPED_TRACE(c.name);
    CamData camera;
    camera.altitude = c.altitude;
    camera.azimuth = c.azimuth;
    camera.f = c.f;
    const cv::Mat assembled = assemble(camera);
    const cv::Mat expected = scene.renderView(camera);
    ASSERT_EQ(assembled.size(), expected.size());
    const Comparison same = compare(assembled, expected);
    EXPECT_GT(same.covered, 0.999);
    EXPECT_LT(same.meanError, 7.0);
    EXPECT_GT(same.psnr, 23.0);
    // The scene is not symmetric: a view mirrored left to right or upside
    // down (a sign error in an axis) would be far off.
    for (int flipCode : {0, 1}) {
      cv::Mat flipped;
      cv::flip(expected, flipped, flipCode);
      const Comparison wrong = compare(assembled, flipped);
      EXPECT_GT(wrong.meanError, 2.0 * same.meanError) << "flip " << flipCode;
    }
  }
}

}  // namespace
