#include <cmath>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "base/Constants.h"
#include "camera/GeneralCamera.h"
#include "camera/LensMapping.h"
#include "camera/PhotoCamera.h"
#include "support/LensMaking.h"

namespace {

Vec3 randomDirection(std::mt19937& random) {
  std::normal_distribution<double> normal;
  Vec3 v{normal(random), normal(random), normal(random)};
  return (1.0 / std::sqrt(dot(v, v))) * v;
}

struct Case {
  const char* what;
  Lens lens;
  double yaw, pitch, roll;
  int currentWidth, currentHeight;
};

std::vector<Case> cases() {
  Lens distorted = makeLens(Projection::Rectilinear, 3000, 2000, 70.0);
  distorted.a = 0.01;
  distorted.b = -0.04;
  distorted.c = 0.02;
  distorted.d = 12.5;
  distorted.e = -7.0;
  Lens circle = makeLens(Projection::CircularFisheye, 1600, 1200, 185.0);
  circle.cropped = true;
  circle.cropLeft = 210;
  circle.cropRight = 1390;
  circle.cropTop = 10;
  circle.cropBottom = 1190;
  Lens masked = makeLens(Projection::Stereographic, 800, 600, 120.0);
  masked.masks.push_back({0, {{0, 0}, {400, 0}, {400, 300}}});
  return {
      {"rectilinear, distortion and shift, preview", distorted, 30.0, -20.0, 12.0, 100, 67},
      {"rectilinear, distortion and shift, full size", distorted, -150.0, 45.0, -80.0, 3000, 2000},
      {"circular fisheye, scaled", circle, 200.0, 10.0, 5.0, 401, 301},
      {"360-degree photograph, preview", makeLens(Projection::Equirectangular, 8000, 4000, 360.0),
       0.0, 0.0, 0.0, 720, 360},
      {"stereographic with a mask", masked, 90.0, 60.0, 170.0, 333, 250},
  };
}

}  // namespace

// A lens camera places a ray where the lens places its camera-frame
// direction, scaled to the current image, and refuses it exactly where the
// lens does not see it; its axes are the lens' frame in the world.
TEST(PhotoCameraLens, ProjectsWhereTheLensDoesAtTheCurrentScale) {
  std::mt19937 random(7);
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.what);
    GeneralCamera general;
    std::string error;
    ASSERT_TRUE(makeGeneralCamera(c.lens, c.yaw, c.pitch, c.roll, PhotometricParams{}, 0.0,
                                  &general, &error))
        << error;
    const PhotoCamera camera = PhotoCamera::lensCamera(&general.lens, general.rotation,
                                                       c.currentWidth, c.currentHeight);
    ASSERT_EQ(camera.lens(), &general.lens);
    const double sx = double(c.currentWidth) / c.lens.width;
    const double sy = double(c.currentHeight) / c.lens.height;
    int seen = 0;
    for (int i = 0; i < 4000; ++i) {
      const Vec3 ray = randomDirection(random);
      double fullColumn = 0.0;
      double fullRow = 0.0;
      const bool expected =
          directionToPixel(general.lens, worldToCamera(general.rotation, ray), &fullColumn, &fullRow);
      double column = -1.0;
      double row = -1.0;
      ASSERT_EQ(camera.toPixel(ray, &column, &row), expected);
      if (!expected) continue;
      ++seen;
      EXPECT_NEAR(column, fullColumn * sx, 1e-9);
      EXPECT_NEAR(row, fullRow * sy, 1e-9);
      EXPECT_GE(column, 0.0);
      EXPECT_LT(static_cast<int>(column), c.currentWidth);
      EXPECT_LT(static_cast<int>(row), c.currentHeight);
      // And back: the position of the current image shows the same direction.
      Vec3 back;
      ASSERT_TRUE(camera.directionThrough(column, row, &back));
      EXPECT_NEAR(dot(back, ray), 1.0, 1e-9);
    }
    EXPECT_GT(seen, 200);
  }
}

TEST(PhotoCameraLens, AxesAreTheLensFrameInTheWorld) {
  // Yaw 0, pitch 0, roll 0 looks at the start view: forward +z, image right
  // towards negative x (a larger azimuth lies to the left), down -y.
  GeneralCamera general;
  std::string error;
  ASSERT_TRUE(makeGeneralCamera(makeLens(Projection::Rectilinear, 400, 300, 60.0), 0.0, 0.0, 0.0,
                                PhotometricParams{}, 0.0, &general, &error));
  const PhotoCamera start = PhotoCamera::lensCamera(&general.lens, general.rotation, 400, 300);
  const CameraAxes pinhole = cameraAxes(kPi / 2, 0.0);
  for (const auto& [lensAxis, pinholeAxis] :
       {std::pair{start.axes().right, pinhole.right}, std::pair{start.axes().down, pinhole.down},
        std::pair{start.axes().forward, pinhole.forward}}) {
    EXPECT_NEAR(lensAxis.x, pinholeAxis.x, 1e-12);
    EXPECT_NEAR(lensAxis.y, pinholeAxis.y, 1e-12);
    EXPECT_NEAR(lensAxis.z, pinholeAxis.z, 1e-12);
  }
  // The image centre's ray is the optical axis; a ray right of it lands
  // right of the centre, one below it below.
  double column = 0.0;
  double row = 0.0;
  ASSERT_TRUE(start.project(0.0, 0.0, 1.0, &column, &row));
  EXPECT_DOUBLE_EQ(column, 200.0);
  EXPECT_DOUBLE_EQ(row, 150.0);
  ASSERT_TRUE(start.project(0.1, 0.05, 1.0, &column, &row));
  EXPECT_GT(column, 200.0);
  EXPECT_GT(row, 150.0);
  EXPECT_FALSE(start.project(0.0, 0.0, -1.0, &column, &row));
}
