#include <cmath>
#include <limits>
#include <numbers>

#include <gtest/gtest.h>

#include "camera/Frame.h"

namespace {

constexpr double kPi = std::numbers::pi;

void expectVec(const Vec3& actual, double x, double y, double z, double tolerance = 1e-15) {
  EXPECT_NEAR(actual.x, x, tolerance);
  EXPECT_NEAR(actual.y, y, tolerance);
  EXPECT_NEAR(actual.z, z, tolerance);
}

double length(const Vec3& v) { return std::sqrt(dot(v, v)); }

TEST(FrameTest, NamedDirectionsGiveTheirAxes) {
  const ViewFrame horizonAhead = viewFrame(kPi / 2, 0.0, 50.0, 35.0, 24.0);
  expectVec(horizonAhead.d, 0, 0, 1);
  expectVec(horizonAhead.r, -1, 0, 0);
  expectVec(horizonAhead.u, 0, 1, 0);

  const ViewFrame horizonQuarter = viewFrame(kPi / 2, kPi / 2, 50.0, 35.0, 24.0);
  expectVec(horizonQuarter.d, 1, 0, 0);
  expectVec(horizonQuarter.r, 0, 0, 1);
  expectVec(horizonQuarter.u, 0, 1, 0);

  const ViewFrame down = viewFrame(0.0, 0.0, 50.0, 35.0, 24.0);
  expectVec(down.d, 0, -1, 0);
  expectVec(down.r, -1, 0, 0);
  expectVec(down.u, 0, 0, 1);
}

TEST(FrameTest, FramesAreOrthonormalEverywhereAndPeriodicInAzimuth) {
  const double altitudes[] = {0.0, 1e-12, 0.4, kPi / 2, 2.9, kPi - 1e-12, kPi, -0.3, 4.0};
  const double azimuths[] = {0.0, 1e-12, 1.0, kPi, 2 * kPi - 1e-12, 2 * kPi, -2.5, 9.0};
  for (double a : altitudes) {
    for (double z : azimuths) {
      const ViewFrame f = viewFrame(a, z, 20.0, 36.0, 24.0);
      EXPECT_NEAR(length(f.d), 1.0, 1e-14);
      EXPECT_NEAR(length(f.r), 1.0, 1e-14);
      EXPECT_NEAR(length(f.u), 1.0, 1e-14);
      EXPECT_NEAR(dot(f.d, f.r), 0.0, 1e-14);
      EXPECT_NEAR(dot(f.d, f.u), 0.0, 1e-14);
      EXPECT_NEAR(dot(f.r, f.u), 0.0, 1e-14);
      // d, r, u form one handedness everywhere: u = r x d.
      const Vec3 rd = cross(f.r, f.d);
      expectVec(rd, f.u.x, f.u.y, f.u.z, 1e-14);
      // Unit corners, all at the same angle from d (one plane, perpendicular to d).
      for (const Vec3& corner : f.corners) {
        EXPECT_NEAR(length(corner), 1.0, 1e-14);
        EXPECT_NEAR(dot(corner, f.d), dot(f.corners[0], f.d), 1e-14);
      }
      const ViewFrame turned = viewFrame(a, z + 2 * kPi, 20.0, 36.0, 24.0);
      expectVec(turned.d, f.d.x, f.d.y, f.d.z, 1e-14);
      expectVec(turned.r, f.r.x, f.r.y, f.r.z, 1e-14);
    }
  }
}

TEST(FrameTest, CornersRunFromTopLeftClockwise) {
  const ViewFrame f = viewFrame(1.1, 0.7, 10.0, 36.0, 24.0);
  // top-left, top-right, bottom-right, bottom-left
  EXPECT_LT(dot(f.corners[0], f.r), 0.0);
  EXPECT_GT(dot(f.corners[0], f.u), 0.0);
  EXPECT_GT(dot(f.corners[1], f.r), 0.0);
  EXPECT_GT(dot(f.corners[1], f.u), 0.0);
  EXPECT_GT(dot(f.corners[2], f.r), 0.0);
  EXPECT_LT(dot(f.corners[2], f.u), 0.0);
  EXPECT_LT(dot(f.corners[3], f.r), 0.0);
  EXPECT_LT(dot(f.corners[3], f.u), 0.0);
  double x = 0.0;
  double y = 0.0;
  projectToPlane(f.corners[1], f, &x, &y);
  EXPECT_NEAR(x, 18.0, 1e-12);
  EXPECT_NEAR(y, 12.0, 1e-12);
}

TEST(FrameTest, AzimuthTurnsLeftAndAltitudeTiltsUp) {
  const ViewFrame f = viewFrame(1.2, 0.5, 1.0, 1.0, 1.0);
  const ViewFrame moreAzimuth = viewFrame(1.2, 0.5 + 1e-3, 1.0, 1.0, 1.0);
  const ViewFrame moreAltitude = viewFrame(1.2 + 1e-3, 0.5, 1.0, 1.0, 1.0);
  EXPECT_LT(dot(moreAzimuth.d - f.d, f.r), -1e-4);
  EXPECT_GT(dot(moreAltitude.d - f.d, f.u), 1e-4);
}

TEST(FrameTest, ProjectionRecoversPlanePoints) {
  const ViewFrame f = viewFrame(0.8, -1.3, 24.0, 36.0, 24.0);
  const Vec3 p = f.f * f.d + 7.5 * f.r + (-3.25) * f.u;
  double x = 0.0;
  double y = 0.0;
  projectToPlane(p, f, &x, &y);
  EXPECT_NEAR(x, 7.5, 1e-12);
  EXPECT_NEAR(y, -3.25, 1e-12);
  // Any point on the same ray projects to the same place.
  projectToPlane(0.01 * p, f, &x, &y);
  EXPECT_NEAR(x, 7.5, 1e-12);
  EXPECT_NEAR(y, -3.25, 1e-12);
}

TEST(FrameTest, PlaneToPixelRoundsAndClamps) {
  int column = -1;
  int row = -1;
  planeToPixel(0.0, 0.0, 700, 480, 35.0, 24.0, &column, &row);
  EXPECT_EQ(column, 350);
  EXPECT_EQ(row, 240);
  planeToPixel(17.5, 12.0, 700, 480, 35.0, 24.0, &column, &row);
  EXPECT_EQ(column, 699);
  EXPECT_EQ(row, 0);
  planeToPixel(-17.5, -12.0, 700, 480, 35.0, 24.0, &column, &row);
  EXPECT_EQ(column, 0);
  EXPECT_EQ(row, 479);
  planeToPixel(-1e300, 1e300, 700, 480, 35.0, 24.0, &column, &row);
  EXPECT_EQ(column, 0);
  EXPECT_EQ(row, 0);
  planeToPixel(1e300, -1e300, 700, 480, 35.0, 24.0, &column, &row);
  EXPECT_EQ(column, 699);
  EXPECT_EQ(row, 479);
  // A grazing ray projects to infinity or to nothing; it still lands inside.
  const double inf = std::numeric_limits<double>::infinity();
  planeToPixel(inf, -inf, 700, 480, 35.0, 24.0, &column, &row);
  EXPECT_EQ(column, 699);
  EXPECT_EQ(row, 479);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  planeToPixel(nan, nan, 700, 480, 35.0, 24.0, &column, &row);
  EXPECT_EQ(column, 0);
  EXPECT_EQ(row, 0);
  // One pixel left of the centre: 0.05 mm per pixel.
  planeToPixel(-0.05, 0.05, 700, 480, 35.0, 24.0, &column, &row);
  EXPECT_EQ(column, 349);
  EXPECT_EQ(row, 239);
}

// Looking straight down (d = (0, -1, 0)) with a square plane at distance 1:
// the side planes are x = +-1 and z = +-1 at y = -1, all exactly representable.
ViewFrame downFrame() { return viewFrame(0.0, 0.0, 1.0, 2.0, 2.0); }

TEST(FrameTest, ClipKeepsVerticesOnThePlanesAndInsidePolygons) {
  const Vec3 triangle[3] = {{0.0, -1.0, 0.0}, {0.3, -1.0, 1.0}, {-1.0, -1.0, 0.0}};
  Vec3 out[kMaxClipVertices];
  ASSERT_EQ(clipToFrustum(triangle, 3, downFrame(), out), 3);
  for (int i = 0; i < 3; ++i) {
    expectVec(out[i], triangle[i].x, triangle[i].y, triangle[i].z, 0.0);
  }
}

TEST(FrameTest, ClipCutsToThePyramidAndDropsWhatIsOutside) {
  Vec3 out[kMaxClipVertices];
  // A large square on the plane y = -1 is cut to the pyramid's cross-section.
  const Vec3 square[4] = {{-5, -1, 5}, {5, -1, 5}, {5, -1, -5}, {-5, -1, -5}};
  const int n = clipToFrustum(square, 4, downFrame(), out);
  ASSERT_EQ(n, 4);
  for (int i = 0; i < n; ++i) {
    EXPECT_NEAR(std::fabs(out[i].x), 1.0, 1e-12);
    EXPECT_NEAR(std::fabs(out[i].z), 1.0, 1e-12);
  }
  // The same square behind the camera (y = +1) lies wholly outside.
  const Vec3 behind[4] = {{-5, 1, 5}, {5, 1, 5}, {5, 1, -5}, {-5, 1, -5}};
  EXPECT_EQ(clipToFrustum(behind, 4, downFrame(), out), 0);
  // Beside the pyramid.
  const Vec3 beside[4] = {{2, -1, 0.5}, {3, -1, 0.5}, {3, -1, -0.5}, {2, -1, -0.5}};
  EXPECT_EQ(clipToFrustum(beside, 4, downFrame(), out), 0);
}

TEST(FrameTest, ClipPartlyBehindKeepsOnlyTheFrontPart) {
  // A vertical quad through the camera's centre, reaching from behind (y > 0)
  // to the front (y < 0): the part kept has y <= 0 only.
  const Vec3 quad[4] = {{-0.5, 2, 0.2}, {0.5, 2, 0.2}, {0.5, -2, 0.2}, {-0.5, -2, 0.2}};
  Vec3 out[kMaxClipVertices];
  const int n = clipToFrustum(quad, 4, downFrame(), out);
  ASSERT_GE(n, 3);
  for (int i = 0; i < n; ++i) {
    EXPECT_LT(out[i].y, 0.0);
    EXPECT_LE(std::fabs(out[i].x), -out[i].y + 1e-12);
    EXPECT_LE(std::fabs(out[i].z), -out[i].y + 1e-12);
  }
}

TEST(FrameTest, ClipNeverWritesBeyondItsBuffer) {
  // A zig-zag that crosses a side plane at every edge would double its
  // vertex count in one pass.
  Vec3 zigzag[kMaxClipVertices];
  for (int i = 0; i < kMaxClipVertices; ++i) {
    zigzag[i] = {i % 2 == 0 ? 0.5 : 1.5, -1.0, -0.9 + 1.8 * i / (kMaxClipVertices - 1)};
  }
  Vec3 out[2 * kMaxClipVertices];
  const Vec3 sentinel{123.0, 456.0, 789.0};
  for (Vec3& v : out) {
    v = sentinel;
  }
  const int n = clipToFrustum(zigzag, kMaxClipVertices, downFrame(), out);
  EXPECT_GT(n, 0);
  EXPECT_LE(n, kMaxClipVertices);
  for (int i = kMaxClipVertices; i < 2 * kMaxClipVertices; ++i) {
    expectVec(out[i], sentinel.x, sentinel.y, sentinel.z, 0.0);
  }
}

}  // namespace
