// The camera arithmetic of the user's navigation, without a controller.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "controller/Navigation.h"

namespace {

CamData cameraWith(double f, double sensorWidth) {
  CamData camera;
  camera.f = f;
  camera.sensorWidth = sensorWidth;
  return camera;
}

constexpr double kUntouched = -7.0;

}  // namespace

TEST(NavigationMaths, WheelStepNarrowsOrWidensTheFieldOfViewByOneDegree) {
  struct Case {
    double f;
    double sensorWidth;  // 35 mm on a 700 x 480 canvas, 24 mm on a square one
    int step;
    double expected;
  };
  for (const Case& c : {
           Case{50.0, 35.0, +1, 51.435},
           Case{50.0, 35.0, -1, 48.635},
           Case{50.0, 24.0, +1, 51.995},
           Case{50.0, 24.0, -1, 48.145},
           Case{18.5, 35.0, +1, 18.826},
           Case{50.0, 35.0, 0, 50.0},
       }) {
    double f = kUntouched;
    ASSERT_TRUE(zoomedFocalLength(cameraWith(c.f, c.sensorWidth), c.step, &f))
        << c.f << " mm, step " << c.step;
    EXPECT_NEAR(f, c.expected, 1e-3) << c.f << " mm on " << c.sensorWidth << " mm, step " << c.step;
  }
  // A step and its opposite come back to the start.
  double in = 0.0;
  double out = 0.0;
  ASSERT_TRUE(zoomedFocalLength(cameraWith(50.0, 35.0), +1, &in));
  ASSERT_TRUE(zoomedFocalLength(cameraWith(in, 35.0), -1, &out));
  EXPECT_NEAR(out, 50.0, 1e-9);
}

TEST(NavigationMaths, WheelStepBeyondTheFieldOfViewLimitIsRefused) {
  // Half angles within a step of 0 and of 90 degrees (35 mm sensor width).
  const double nearZero = 35.0 / (2.0 * std::tan(0.004));
  const double nearRight = 35.0 / (2.0 * std::tan(M_PI / 2 - 0.004));
  struct Case {
    double f;
    int step;
    bool allowed;
  };
  for (const Case& c : {
           Case{nearZero, +1, false},
           Case{nearRight, -1, false},
           // The way back from a limit stays open.
           Case{nearZero, -1, true},
           Case{nearRight, +1, true},
       }) {
    double f = kUntouched;
    EXPECT_EQ(zoomedFocalLength(cameraWith(c.f, 35.0), c.step, &f), c.allowed) << c.f << ", " << c.step;
    if (c.allowed) {
      EXPECT_TRUE(std::isfinite(f) && f > 0.0) << f;
    } else {
      EXPECT_EQ(f, kUntouched) << "a refused step leaves the result alone";
    }
  }
}

TEST(NavigationMaths, DragScaleIsTheDiagonalOfASquareOfTheCanvasHeight) {
  struct Case {
    int height;
    float scale;
  };
  for (const Case& c : {Case{480, 678.8225f}, Case{240, 339.4113f}, Case{120, 169.7056f}, Case{1, 1.4142f}}) {
    EXPECT_NEAR(dragScaleFor(c.height), c.scale, 1e-3) << c.height;
  }
}

TEST(NavigationMaths, DragVelocityIsTheGainTimesTheDistanceOverTheScale) {
  const float scale = dragScaleFor(480);
  struct Case {
    int dx;
    int dy;
    float xVel;
    float yVel;
  };
  // A drag of 100 px on a 480 px high canvas gives 1.1785.
  for (const Case& c : {
           Case{100, 0, 1.178511f, 0.0f},
           Case{-30, 40, -0.353553f, 0.471405f},
           Case{0, -50, 0.0f, -0.589256f},
           Case{100000, 100000, 1178.511f, 1178.511f},
       }) {
    float xVel = kUntouched;
    float yVel = kUntouched;
    ASSERT_TRUE(dragVelocity(c.dx, c.dy, scale, &xVel, &yVel)) << c.dx << ", " << c.dy;
    EXPECT_NEAR(xVel, c.xVel, 1e-5f * std::max(1.0f, std::abs(c.xVel))) << c.dx << ", " << c.dy;
    EXPECT_NEAR(yVel, c.yVel, 1e-5f * std::max(1.0f, std::abs(c.yVel))) << c.dx << ", " << c.dy;
  }
  // Back at the press point there is no direction: the velocities stay.
  float xVel = 1.5f;
  float yVel = -2.5f;
  EXPECT_FALSE(dragVelocity(0, 0, scale, &xVel, &yVel));
  EXPECT_EQ(xVel, 1.5f);
  EXPECT_EQ(yVel, -2.5f);
}

TEST(NavigationMaths, OneLookAroundStepTurnsByTheVelocityTimesHalfADegree) {
  float xVel = 0.0f;
  float yVel = 0.0f;
  ASSERT_TRUE(dragVelocity(100, 0, dragScaleFor(480), &xVel, &yVel));
  EXPECT_NEAR(static_cast<double>(xVel * kAngleStep), 0.0102845, 1e-7);
  EXPECT_NEAR(static_cast<double>(kAngleStep), M_PI / 360.0, 1e-9);
}
