// Yaw, pitch and roll read back from a photograph's orientation, and the
// orientation of one camera seen from another: what a stitcher project of a
// view writes for each photograph.

#include <cmath>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "base/Constants.h"
#include "camera/LensModel.h"
#include "camera/PhotoCamera.h"

namespace {

double deg(double degrees) { return degreesToRadians(degrees); }

void expectMatrix(const Mat3& actual, const Mat3& expected, const std::string& what,
                  double tolerance = 1e-12) {
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      EXPECT_NEAR(actual.m[i][j], expected.m[i][j], tolerance)
          << what << " [" << i << "][" << j << "]";
    }
  }
}

void expectInRange(double yaw, double pitch, double roll, const std::string& what) {
  EXPECT_GE(yaw, -180.0) << what;
  EXPECT_LE(yaw, 180.0) << what;
  EXPECT_GE(pitch, -90.0) << what;
  EXPECT_LE(pitch, 90.0) << what;
  EXPECT_GE(roll, -180.0) << what;
  EXPECT_LE(roll, 180.0) << what;
}

TEST(PhotoAnglesTest, RandomOrientationsRoundTripThroughPhotoRotation) {
  std::mt19937 random(20240611);
  std::uniform_real_distribution<double> angle(-720.0, 720.0);
  for (int k = 0; k < 2000; ++k) {
    const Mat3 rotation = photoRotation(angle(random), angle(random), angle(random));
    double yaw = 0.0, pitch = 0.0, roll = 0.0;
    photoAngles(rotation, &yaw, &pitch, &roll);
    const std::string what = "case " + std::to_string(k);
    expectInRange(yaw, pitch, roll, what);
    expectMatrix(photoRotation(yaw, pitch, roll), rotation, what, 1e-9);
  }
}

TEST(PhotoAnglesTest, AnglesInTheirRangesComeBackAsGiven) {
  struct Case {
    double yaw, pitch, roll;  // given
    double yawBack, rollBack;  // read back (straight up or down: yaw 0)
  };
  const Case cases[] = {{0, 0, 0, 0, 0},         {30, 20, 10, 30, 10},   {-100, -35, 70, -100, 70},
                        {179, 89, -179, 179, -179}, {-45, -60, 180, -45, 180},
                        {40, 90, 10, 0, -30},     {40, -90, 10, 0, 50},   {0, 90, 0, 0, 0}};
  for (const Case& c : cases) {
    const std::string what = "yaw " + std::to_string(c.yaw) + " pitch " + std::to_string(c.pitch) +
                             " roll " + std::to_string(c.roll);
    double yaw = 0.0, pitch = 0.0, roll = 0.0;
    photoAngles(photoRotation(c.yaw, c.pitch, c.roll), &yaw, &pitch, &roll);
    EXPECT_NEAR(yaw, c.yawBack, 1e-9) << what;
    EXPECT_NEAR(pitch, c.pitch, 1e-9) << what;
    EXPECT_NEAR(std::remainder(roll - c.rollBack, 360.0), 0.0, 1e-9) << what;
  }
}

TEST(PhotoAnglesTest, PhotographSeenFromAViewIsPlacedRelativeToIt) {
  // Pinholes at (altitude, azimuth) in degrees: azimuth = -yaw and
  // altitude = 90 + pitch in the view's turned world.
  struct Case {
    double viewAltitude, viewAzimuth, photoAltitude, photoAzimuth;
    double yaw, pitch, roll;  // the photograph as the view sees it
  };
  const Case cases[] = {
      {90, 0, 90, 0, 0, 0, 0},       // the start view: the world's own angles
      {90, 0, 120, -30, 30, 30, 0},
      {90, 50, 90, 50, 0, 0, 0},     // the view itself
      {90, 50, 90, 80, -30, 0, 0},   // further left of the view: negative yaw
      {90, -170, 90, 170, 20, 0, 0}, // across the seam
      {60, 0, 90, 0, 0, 30, 0},      // the view looks down: the horizon is above it
  };
  for (const Case& c : cases) {
    const std::string what = "view " + std::to_string(c.viewAltitude) + "/" +
                              std::to_string(c.viewAzimuth) + " photo " +
                              std::to_string(c.photoAltitude) + "/" +
                              std::to_string(c.photoAzimuth);
    const Mat3 view = cameraRotation(cameraAxes(deg(c.viewAltitude), deg(c.viewAzimuth)));
    const Mat3 photo = cameraRotation(cameraAxes(deg(c.photoAltitude), deg(c.photoAzimuth)));
    double yaw = 0.0, pitch = 0.0, roll = 0.0;
    photoAngles(rotationSeenFrom(photo, view), &yaw, &pitch, &roll);
    EXPECT_NEAR(yaw, c.yaw, 1e-9) << what;
    EXPECT_NEAR(pitch, c.pitch, 1e-9) << what;
    EXPECT_NEAR(roll, c.roll, 1e-9) << what;
  }
}

TEST(PhotoAnglesTest, SeenFromAViewEveryDirectionKeepsItsPlaceInThePhotograph) {
  // A direction d of the world is M V d in the view's turned world (M the
  // start view's matrix); there the photograph must see it where it did.
  std::mt19937 random(7);
  std::normal_distribution<double> normal;
  std::uniform_real_distribution<double> angle(-180.0, 180.0);
  const Mat3 start = photoRotation(0, 0, 0);
  for (int k = 0; k < 200; ++k) {
    const Mat3 photo = photoRotation(angle(random), angle(random) / 2, angle(random));
    const Mat3 view = photoRotation(angle(random), angle(random) / 2, angle(random));
    const Vec3 d{normal(random), normal(random), normal(random)};
    const Vec3 turned = cameraToWorld(start, worldToCamera(view, d));
    double yaw = 0.0, pitch = 0.0, roll = 0.0;
    photoAngles(rotationSeenFrom(photo, view), &yaw, &pitch, &roll);
    const Vec3 expected = worldToCamera(photo, d);
    const Vec3 seen = worldToCamera(photoRotation(yaw, pitch, roll), turned);
    EXPECT_NEAR(seen.x, expected.x, 1e-9) << k;
    EXPECT_NEAR(seen.y, expected.y, 1e-9) << k;
    EXPECT_NEAR(seen.z, expected.z, 1e-9) << k;
  }
}

}  // namespace
