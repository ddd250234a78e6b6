#include <gtest/gtest.h>

#include <cmath>

#include "base/Constants.h"
#include "camera/CamData.h"
#include "camera/Frame.h"
#include "camera/PointerGrab.h"

namespace {

CamData cameraAt(double azimuthDeg, double altitudeDeg, double f = 50.0, int width = 700,
                 int height = 480) {
  CamData camera;
  camera.width = width;
  camera.height = height;
  camera.updateSensorWidth();
  camera.azimuth = degreesToRadians(azimuthDeg);
  camera.altitude = degreesToRadians(altitudeDeg);
  camera.f = f;
  return camera;
}

}  // namespace

TEST(PointerGrab, CentreShowsTheViewingDirectionAndLeftIsALargerAzimuth) {
  const CamData camera = cameraAt(30.0, 60.0);
  const Vec3 centre = pointerDirection(camera, 350.0, 240.0);
  const ViewFrame frame = viewFrame(camera.altitude, camera.azimuth, camera.f, 0.0, 0.0);
  EXPECT_NEAR(centre.x, frame.d.x, 1e-12);
  EXPECT_NEAR(centre.y, frame.d.y, 1e-12);
  EXPECT_NEAR(centre.z, frame.d.z, 1e-12);
  // A point left of the centre is where a camera turned to a larger azimuth
  // looks, a point above it where a camera with a larger altitude looks.
  double azimuth = 0.0;
  double altitude = 0.0;
  ASSERT_TRUE(turnToShow(camera, pointerDirection(camera, 100.0, 240.0), 350.0, 240.0,
                         &azimuth, &altitude));
  EXPECT_GT(azimuth, camera.azimuth);
  ASSERT_TRUE(turnToShow(camera, pointerDirection(camera, 350.0, 50.0), 350.0, 240.0,
                         &azimuth, &altitude));
  EXPECT_GT(altitude, camera.altitude);
}

TEST(PointerGrab, ProjectionInvertsTheDirectionOfAPosition) {
  const CamData camera = cameraAt(-125.0, 20.0, 18.0, 640, 400);
  for (const auto& [column, row] : {std::pair{0.0, 0.0}, {639.5, 0.25}, {320.0, 200.0},
                                    {12.75, 399.0}, {-50.0, 700.0}}) {
    double c = 0.0;
    double r = 0.0;
    ASSERT_TRUE(directionPosition(camera, pointerDirection(camera, column, row), &c, &r));
    EXPECT_NEAR(c, column, 1e-9);
    EXPECT_NEAR(r, row, 1e-9);
  }
  // A direction behind the camera has no position.
  const Vec3 centre = pointerDirection(camera, 320.0, 200.0);
  double c = 0.0;
  double r = 0.0;
  EXPECT_FALSE(directionPosition(camera, -1.0 * centre, &c, &r));
}

// The dragged point lands on the pointer: for each camera, grab the point
// under one position, solve for the pointer at another, and project the
// point through the solved camera. The focal length and canvas stay.
TEST(PointerGrab, SolvedCameraShowsTheGrabbedPointUnderThePointer) {
  struct Case {
    double azimuth, altitude, f;
    double fromColumn, fromRow, toColumn, toRow;
  };
  const Case cases[] = {
      {0.0, 90.0, 50.0, 350, 240, 400, 240},      // a small drag to the right
      {0.0, 90.0, 50.0, 350, 240, 350, 100},      // upwards
      {0.0, 90.0, 50.0, 10, 10, 690, 470},        // corner to corner
      {725.0, 90.0, 50.0, 100, 400, 120, 380},    // many turns: none is undone
      {-40.0, 20.0, 12.0, 600, 50, 100, 300},     // wide angle, looking down
      {170.0, 160.0, 120.0, 350, 240, 352, 237},  // telephoto, looking up
      {10.0, 175.0, 20.0, 200, 300, 500, 200},    // near the zenith
      {0.0, 90.0, 50.0, 349.5, 239.5, 349.5, 239.5},  // no drag at all
  };
  for (const Case& c : cases) {
    const CamData camera = cameraAt(c.azimuth, c.altitude, c.f);
    const Vec3 grabbed = pointerDirection(camera, c.fromColumn, c.fromRow);
    double azimuth = 0.0;
    double altitude = 0.0;
    ASSERT_TRUE(turnToShow(camera, grabbed, c.toColumn, c.toRow, &azimuth, &altitude))
        << c.azimuth << " " << c.altitude;
    CamData turned = camera;
    turned.azimuth = azimuth;
    turned.altitude = altitude;
    double column = 0.0;
    double row = 0.0;
    ASSERT_TRUE(directionPosition(turned, grabbed, &column, &row));
    EXPECT_NEAR(column, c.toColumn, 1e-6) << c.azimuth << " " << c.altitude;
    EXPECT_NEAR(row, c.toRow, 1e-6) << c.azimuth << " " << c.altitude;
    // The nearest solution: a short drag turns by a short angle.
    EXPECT_LT(std::fabs(azimuth - camera.azimuth), kPi) << c.azimuth;
    EXPECT_LT(std::fabs(altitude - camera.altitude), kPi / 2) << c.altitude;
  }
}

TEST(PointerGrab, ZenithCannotBeDraggedBesideTheImageCentreLine) {
  const CamData camera = cameraAt(0.0, 150.0);
  const Vec3 zenith{0.0, 1.0, 0.0};
  double azimuth = 7.0;
  double altitude = 7.0;
  // Off the vertical centre line no camera of azimuth and altitude shows it.
  EXPECT_FALSE(turnToShow(camera, zenith, 600.0, 240.0, &azimuth, &altitude));
  EXPECT_EQ(azimuth, 7.0);
  EXPECT_EQ(altitude, 7.0);
  // On it any azimuth would do: the current one stays.
  ASSERT_TRUE(turnToShow(camera, zenith, 350.0, 100.0, &azimuth, &altitude));
  EXPECT_EQ(azimuth, camera.azimuth);
  double column = 0.0;
  double row = 0.0;
  CamData turned = camera;
  turned.altitude = altitude;
  ASSERT_TRUE(directionPosition(turned, zenith, &column, &row));
  EXPECT_NEAR(row, 100.0, 1e-6);
  // Not a direction at all.
  EXPECT_FALSE(turnToShow(camera, Vec3{0.0, 0.0, 0.0}, 350.0, 240.0, &azimuth, &altitude));
  EXPECT_FALSE(turnToShow(camera, Vec3{NAN, 0.0, 1.0}, 350.0, 240.0, &azimuth, &altitude));
}
