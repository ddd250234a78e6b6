#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "camera/CameraLimits.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

}  // namespace

TEST(CameraLimits, AnglesMustBeFiniteAndWithinAMillionDegrees) {
  struct Case {
    double degrees;
    bool usable;
  };
  const Case cases[] = {{0.0, true},       {90.0, true},   {-720.5, true}, {1e6, true},
                        {-1e6, true},      {1.000001e6, false}, {1e308, false}, {-1e308, false},
                        {kNaN, false},     {kInf, false},  {-kInf, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(isUsableAngleDegrees(c.degrees), c.usable) << c.degrees;
    EXPECT_EQ(isUsableAngleRadians(c.degrees * kPi / 180.0), c.usable) << c.degrees;
  }
  // 1e308 degrees is finite but overflows on the way to radians.
  EXPECT_TRUE(std::isinf(1e308 * kPi));
}

TEST(CameraLimits, FieldOfViewIsTwiceTheHalfAngleOfTheSensor) {
  EXPECT_NEAR(horizontalFieldOfViewDegrees(35.0, 50.0), 38.58, 0.01);
  EXPECT_NEAR(horizontalFieldOfViewDegrees(24.0, 12.0), 90.0, 1e-12);
  for (double f : {0.0, -1.0, kNaN, kInf}) {
    EXPECT_TRUE(std::isnan(horizontalFieldOfViewDegrees(35.0, f))) << f;
  }
  EXPECT_TRUE(std::isnan(horizontalFieldOfViewDegrees(kNaN, 50.0)));
}

TEST(CameraLimits, UsableCameraHasFiniteAnglesAndAFieldOfViewBelowAHalfTurn) {
  struct Case {
    const char* name;
    double azimuth;
    double altitude;
    double f;
    bool usable;
  };
  const double sensor = 35.0;
  const Case cases[] = {
      {"start camera", 0.0, kPi / 2, 50.0, true},
      {"wide", 1.0, 0.3, 0.5, true},
      {"long", -3.0, 3.0, 1e6, true},
      {"NaN azimuth", kNaN, 1.0, 50.0, false},
      {"infinite altitude", 0.0, kInf, 50.0, false},
      {"huge azimuth", 1e300, 1.0, 50.0, false},
      {"NaN focal length", 0.0, 1.0, kNaN, false},
      {"infinite focal length", 0.0, 1.0, kInf, false},
      {"zero focal length", 0.0, 1.0, 0.0, false},
      {"negative focal length", 0.0, 1.0, -50.0, false},
      {"focal length whose half angle rounds to 90 degrees", 0.0, 1.0, 3e-308, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isUsableCamera(c.azimuth, c.altitude, c.f, sensor), c.usable) << c.name;
  }
}
