// How a photograph's orientation, shift and distortion meet this viewer's
// frame, and the seam and poles of 360-degree photographs. The same signs
// are cross-checked against the stitcher's remapper in LensNonaTest.

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "base/Constants.h"
#include "camera/Frame.h"
#include "camera/LensMapping.h"
#include "camera/LensModel.h"
#include "support/LensMaking.h"

namespace {

double deg(double degrees) { return degreesToRadians(degrees); }

void expectVec(const Vec3& actual, const Vec3& expected, const std::string& what,
               double tolerance = 1e-12) {
  EXPECT_NEAR(actual.x, expected.x, tolerance) << what;
  EXPECT_NEAR(actual.y, expected.y, tolerance) << what;
  EXPECT_NEAR(actual.z, expected.z, tolerance) << what;
}

LensModel prepared(Projection projection, int width, int height, double v) {
  LensModel model;
  EXPECT_TRUE(prepareLens(makeLens(projection, width, height, v), &model, nullptr));
  return model;
}

TEST(LensOrientationTest, YawPitchRollMeetTheViewersFrame) {
  // +yaw turns right (azimuth = -yaw), +pitch looks up (altitude = 90 +
  // pitch), +roll turns the picture clockwise: the camera's up leans
  // towards the view's right.
  struct Case {
    double yaw;
    double pitch;
    double roll;
  };
  const Case cases[] = {{0, 0, 0},       {30, 0, 0},     {0, 20, 0},     {0, 0, 25},
                        {-100, -35, 70}, {170, 80, -30}, {45, -89, 180}, {-360, 10, 400}};
  for (const Case& k : cases) {
    const std::string what = "yaw " + std::to_string(k.yaw) + " pitch " + std::to_string(k.pitch) +
                             " roll " + std::to_string(k.roll);
    const Mat3 rotation = photoRotation(k.yaw, k.pitch, k.roll);
    const ViewFrame view = viewFrame(kPi / 2 + deg(k.pitch), -deg(k.yaw), 1.0, 1.0, 1.0);
    const double c = std::cos(deg(k.roll));
    const double s = std::sin(deg(k.roll));
    const Vec3 right = c * view.r - s * view.u;
    const Vec3 up = c * view.u + s * view.r;
    expectVec(cameraToWorld(rotation, {0, 0, 1}), view.d, what + ": axis");
    expectVec(cameraToWorld(rotation, {1, 0, 0}), right, what + ": image right");
    expectVec(cameraToWorld(rotation, {0, 1, 0}), up, what + ": image up");
    // The matrix is orthogonal: there and back again.
    const Vec3 v = {0.3, -0.5, 0.81};
    expectVec(worldToCamera(rotation, cameraToWorld(rotation, v)), v, what + ": round trip");
  }
}

TEST(LensOrientationTest, ShiftAndDistortionMoveContentTheStitchersWay) {
  // +d, +e: the optical axis lands d pixels right of and e pixels below the
  // picture's centre (so the picture's content appears shifted left and up).
  Lens shifted;
  shifted.width = 400;
  shifted.height = 300;
  shifted.hfovDegrees = 60;
  shifted.d = 7;
  shifted.e = 4;
  LensModel model;
  ASSERT_TRUE(prepareLens(shifted, &model, nullptr));
  double column = 0;
  double row = 0;
  ASSERT_TRUE(directionToPixel(model, {0, 0, 1}, &column, &row));
  EXPECT_DOUBLE_EQ(column, 207);
  EXPECT_DOUBLE_EQ(row, 154);

  // +a: factor a rho^3 + 1 - a is below 1 inside rho = 1 (half the shorter
  // side from the centre) and above it outside: content there moves inwards,
  // beyond it outwards.
  Lens plain;
  plain.width = 400;
  plain.height = 300;
  plain.hfovDegrees = 90;
  Lens distorted = plain;
  distorted.a = 0.1;
  LensModel plainModel;
  LensModel distortedModel;
  ASSERT_TRUE(prepareLens(plain, &plainModel, nullptr));
  ASSERT_TRUE(prepareLens(distorted, &distortedModel, nullptr));
  struct Case {
    double undistortedRadius;
    double expectedFactor;
  };
  const Case cases[] = {
      {75, 0.1 * 0.125 + 0.9}, {150, 1.0}, {190, 0.1 * std::pow(190 / 150.0, 3) + 0.9}};
  for (const Case& k : cases) {
    const Vec3 q = {k.undistortedRadius, 0, 200};  // F = 200
    double c0 = 0, r0 = 0, c1 = 0, r1 = 0;
    ASSERT_TRUE(projectToImage(plainModel, q, &c0, &r0));
    ASSERT_TRUE(projectToImage(distortedModel, q, &c1, &r1));
    EXPECT_NEAR(c0 - 200, k.undistortedRadius, 1e-9);
    EXPECT_NEAR(c1 - 200, k.undistortedRadius * k.expectedFactor, 1e-9);
  }
}

TEST(LensOrientationTest, SphericalPhotographPixelsFaceTheirDirections) {
  // Pixel (c, r) of a W x H 360-degree photograph faces azimuth
  // 180 - (c + 0.5) 360 / W and altitude 180 - (r + 0.5) 180 / H degrees.
  const LensModel sphere = prepared(Projection::Equirectangular, 360, 180, 360);
  const Mat3 rotation = photoRotation(0, 0, 0);
  const int pixels[][2] = {{0, 0}, {179, 89}, {180, 90}, {359, 179}, {90, 45}, {300, 10}};
  for (const auto& p : pixels) {
    Vec3 q;
    ASSERT_TRUE(pixelToDirection(sphere, p[0] + 0.5, p[1] + 0.5, &q));
    const double azimuth = deg(180 - (p[0] + 0.5) * 360 / 360);
    const double altitude = deg(180 - (p[1] + 0.5) * 180 / 180);
    expectVec(cameraToWorld(rotation, q), viewFrame(altitude, azimuth, 1, 1, 1).d,
              "pixel " + std::to_string(p[0]) + "," + std::to_string(p[1]));
    double column = 0;
    double row = 0;
    ASSERT_TRUE(directionToPixel(sphere, q, &column, &row));
    EXPECT_EQ(static_cast<int>(column), p[0]);
    EXPECT_EQ(static_cast<int>(row), p[1]);
  }
}

TEST(LensOrientationTest, SphericalPhotographIsContinuousAcrossTheSeam) {
  const LensModel sphere = prepared(Projection::Equirectangular, 2000, 1000, 360);
  const double pixelsPerRadian = 2000 / (2 * kPi);
  double previous = 0;
  bool first = true;
  // Sweep through straight behind (camera angle 180) at several heights.
  for (double up : {0.0, 40.0, -75.0}) {
    for (double angle = 170; angle <= 190; angle += 0.01) {
      const Vec3 q = {std::cos(deg(up)) * std::sin(deg(angle)), std::sin(deg(up)),
                      std::cos(deg(up)) * std::cos(deg(angle))};
      double column = 0;
      double row = 0;
      ASSERT_TRUE(directionToPixel(sphere, q, &column, &row)) << angle;
      ASSERT_GE(column, 0.0);
      ASSERT_LT(column, 2000.0);
      if (!first) {
        // One step advances the column by 0.01 degrees, modulo the width.
        const double step = std::remainder(column - previous, 2000.0);
        ASSERT_NEAR(step, deg(0.01) * pixelsPerRadian, 1e-6) << angle;
      }
      previous = column;
      first = false;
    }
    first = true;
  }
  // Exactly behind, from either side of zero.
  for (double x : {0.0, -0.0}) {
    double column = 0;
    double row = 0;
    ASSERT_TRUE(directionToPixel(sphere, {x, 0, -1}, &column, &row));
    EXPECT_TRUE(column < 1e-9 || column > 2000 - 1e-9) << column;
    EXPECT_DOUBLE_EQ(blendWeight(sphere, column, row), 1.0);
  }
}

TEST(LensOrientationTest, SphericalPhotographSeesBothPolesFromEveryAzimuth) {
  const LensModel sphere = prepared(Projection::Equirectangular, 2000, 1000, 360);
  for (double azimuth = -180; azimuth < 180; azimuth += 7.5) {
    for (double sign : {1.0, -1.0}) {
      double previousRow = -1;
      for (double fromPole : {1.0, 0.1, 1e-3, 1e-7, 0.0}) {
        const double up = sign * (90 - fromPole);
        const Vec3 q = {std::cos(deg(up)) * std::sin(deg(azimuth)), std::sin(deg(up)),
                        std::cos(deg(up)) * std::cos(deg(azimuth))};
        double column = 0;
        double row = 0;
        ASSERT_TRUE(directionToPixel(sphere, q, &column, &row)) << azimuth << " " << up;
        const double distance = sign > 0 ? row : 1000 - row;
        EXPECT_NEAR(distance, deg(fromPole) * 1000 / kPi, 1e-6) << azimuth << " " << up;
        if (previousRow >= 0) {
          EXPECT_LE(std::fabs(distance), std::fabs(previousRow) + 1e-12);
        }
        previousRow = distance;
        EXPECT_LT(static_cast<int>(row), 1000);
        EXPECT_DOUBLE_EQ(blendWeight(sphere, column, row), 1.0);
      }
    }
  }
  // Every position of the top and bottom rows' edges looks at the pole.
  for (double column = 0; column <= 2000; column += 250) {
    Vec3 q;
    ASSERT_TRUE(pixelToDirection(sphere, column, 0, &q));
    expectVec(q, {0, 1, 0}, "top pole", 1e-12);
    ASSERT_TRUE(pixelToDirection(sphere, column, 1000, &q));
    expectVec(q, {0, -1, 0}, "bottom pole", 1e-12);
  }
}

}  // namespace
