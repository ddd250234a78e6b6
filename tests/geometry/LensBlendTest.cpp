#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "LensSceneHelpers.h"
#include "support/TempDir.h"

namespace {

Lens rectilinear(int width, int height, double v) {
  Lens lens;
  lens.width = width;
  lens.height = height;
  lens.hfovDegrees = v;
  return lens;
}

ProjectPhoto shot(const Lens& lens, double yaw, double eev) {
  ProjectPhoto photo;
  photo.lens = lens;
  photo.yaw = yaw;
  photo.exposureValue = eev;
  return photo;
}

// The scene as a photograph of exposure value `eev` shows it.
cv::Mat toned(const cv::Mat& image, double eev) {
  const std::array<std::uint8_t, 256> tone = exposureTone(eev);
  cv::Mat lut(1, 256, CV_8U, const_cast<std::uint8_t*>(tone.data()));
  cv::Mat out;
  cv::LUT(image, lut, out);
  return out;
}

}  // namespace

// Two photographs of one scene made 1 EV apart meet without a step: the view
// shows both at the mean exposure, every column as bright as the scene at
// that exposure within 3 grey levels. Photographs sharing one exposure are
// shown as they are.
TEST(LensBlend, ExposuresMeetWithoutAStep) {
  TempDir dir;
  const Lens lens = rectilinear(480, 360, 60.0);
  struct Case {
    const char* what;
    double first;
    double second;
    double shown;  // the exposure the view shows: the mean
  };
  for (const Case& c : {Case{"one stop apart", 0.0, 1.0, 0.5}, Case{"one shared exposure", 2.0, 2.0, 2.0}}) {
    SCOPED_TRACE(c.what);
    const std::vector<ProjectPhoto> photos = {shot(lens, -18.0, c.first), shot(lens, 18.0, c.second)};
    auto panorama = lensPanorama(photos, photos);
    const CamData camera = lensViewCamera(95.0, 0.0, 416.0);
    const cv::Mat view = assembleLensView(panorama.get(), camera);
    const cv::Mat expected = toned(smoothScene().renderView(camera), c.shown);
    const cv::Mat seen = seenMask(*panorama, camera);
    ASSERT_EQ(cv::countNonZero(seen), camera.width * camera.height);
    // Per band of 16 columns, the mean signed difference from the scene over
    // all rows and channels: a step where the photographs meet moves it (the
    // bands average out where single columns meet a vertical line of the
    // scene half a pixel off).
    constexpr int kBand = 16;
    double lowest = 1e9;
    double highest = -1e9;
    for (int x0 = 0; x0 + kBand <= camera.width; x0 += kBand) {
      double sum = 0.0;
      for (int y = 0; y < camera.height; ++y) {
        for (int x = x0; x < x0 + kBand; ++x) {
          const cv::Vec3b a = view.at<cv::Vec3b>(y, x);
          const cv::Vec3b e = expected.at<cv::Vec3b>(y, x);
          for (int i = 0; i < 3; ++i) sum += double(a[i]) - e[i];
        }
      }
      const double mean = sum / (3.0 * kBand * camera.height);
      lowest = std::min(lowest, mean);
      highest = std::max(highest, mean);
    }
    EXPECT_LT(highest - lowest, 3.0);
    EXPECT_LT(std::max(std::fabs(highest), std::fabs(lowest)), 3.0);
    EXPECT_LT(meanErrorOver(view, expected, seen), 2.5);
  }
}

// Where a photograph's include mask is seen it alone is shown; where its
// exclude mask is, the others alone; elsewhere the two blend (each channel
// between the two colours, strictly where both weigh in).
TEST(LensBlend, IncludeMasksWinAndExcludeMasksHide) {
  TempDir dir;
  Lens plain = rectilinear(400, 300, 60.0);
  Lens masked = plain;
  masked.masks.push_back({1, {{40, 90}, {160, 80}, {150, 210}, {50, 200}}});
  masked.masks.push_back({0, {{250, 100}, {360, 100}, {360, 220}, {250, 220}}});
  const cv::Vec3b blue(200, 60, 40);
  const cv::Vec3b red(30, 50, 210);
  std::vector<std::unique_ptr<Picture>> pictures;
  pictures.push_back(lensPhoto(0, plain, -8.0, 0.0, 0.0, cv::Mat(300, 400, CV_8UC3, cv::Scalar(blue))));
  pictures.push_back(lensPhoto(1, masked, 8.0, 0.0, 0.0, cv::Mat(300, 400, CV_8UC3, cv::Scalar(red))));
  auto panorama = panoramaOf(std::move(pictures));
  const CamData camera = lensViewCamera(90.0, 0.0, 300.0);
  const cv::Mat view = assembleLensView(panorama.get(), camera);

  const GeneralCamera& first = *panorama->findById(0)->camera;
  const GeneralCamera& second = *panorama->findById(1)->camera;
  const CameraAxes axes = cameraAxes(camera.altitude, camera.azimuth);
  const double fv = Picture::forCamera(camera)->lengthToPixels(camera.f);
  int included = 0;
  int excluded = 0;
  int blended = 0;
  int between = 0;
  for (int y = 0; y < camera.height; ++y) {
    for (int x = 0; x < camera.width; ++x) {
      const Vec3 ray = (x - camera.width / 2.0) * axes.right + (y - camera.height / 2.0) * axes.down +
                       fv * axes.forward;
      double c0 = 0.0, r0 = 0.0, c1 = 0.0, r1 = 0.0;
      const bool seenFirst = directionToPixel(first.lens, worldToCamera(first.rotation, ray), &c0, &r0);
      const bool onSecond = projectToImage(second.lens, worldToCamera(second.rotation, ray), &c1, &r1) &&
                            c1 >= 0 && c1 < 400 && r1 >= 0 && r1 < 300;
      const cv::Vec3b shown = view.at<cv::Vec3b>(y, x);
      if (onSecond && insideIncludeMask(second.lens, c1, r1)) {
        ++included;
        EXPECT_EQ(shown, red) << x << "," << y;
      } else if (onSecond && seenFirst && !seesPosition(second.lens, &c1, &r1)) {
        ++excluded;
        EXPECT_EQ(shown, blue) << x << "," << y;
      } else if (onSecond && seenFirst) {
        ++blended;
        for (int i = 0; i < 3; ++i) {
          EXPECT_GE(shown[i], std::min(red[i], blue[i]));
          EXPECT_LE(shown[i], std::max(red[i], blue[i]));
        }
        between += shown != red && shown != blue ? 1 : 0;
      }
    }
  }
  EXPECT_GT(included, 1000);
  EXPECT_GT(excluded, 1000);
  EXPECT_GT(between, blended / 2);
}
