#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "camera/Photometric.h"

namespace {

// V(x, y) of the model, computed directly.
double vignetting(const PhotometricParams& p, int width, int height, int x, int y) {
  const double cx = (width - 1) / 2.0 + p.vx;
  const double cy = (height - 1) / 2.0 + p.vy;
  const double r2 = ((x - cx) * (x - cx) + (y - cy) * (y - cy)) /
                    (0.25 * (double(width) * width + double(height) * height));
  return p.va + p.vb * r2 + p.vc * r2 * r2 + p.vd * r2 * r2 * r2;
}

TEST(PhotometricTest, SrgbCurveKnownValuesAndRoundTrip) {
  EXPECT_DOUBLE_EQ(srgbToLinear(0.0), 0.0);
  EXPECT_DOUBLE_EQ(srgbToLinear(1.0), 1.0);
  EXPECT_NEAR(srgbToLinear(0.5), 0.214041, 1e-6);
  EXPECT_NEAR(linearToSrgb(0.18), 0.461356, 1e-6);
  EXPECT_DOUBLE_EQ(linearToSrgb(2.0), 1.0);   // clamped
  EXPECT_DOUBLE_EQ(linearToSrgb(-1.0), 0.0);  // clamped
  for (int p = 0; p <= 255; ++p) {
    EXPECT_NEAR(linearToSrgb(srgbToLinear(p / 255.0)), p / 255.0, 1e-12);
  }
}

TEST(PhotometricTest, SameExposureNeutralBalanceNoVignettingChangesNothing) {
  const PhotometricParams cases[] = {
      {},                                                          // defaults
      {.exposureValue = 11.5},                                     // shown at its own exposure
      {.va = 0.7, .vb = -0.2, .vignettingMode = 0},                // vignetting mode not corrected
      {.redBalance = 1.3, .blueBalance = 0.8, .greyscale = true},  // greyscale: no balance
  };
  for (const PhotometricParams& params : cases) {
    PhotometricCorrection correction;
    std::string error;
    ASSERT_TRUE(correction.build(params, 31, 17, params.exposureValue, &error)) << error;
    EXPECT_TRUE(correction.identity());
    for (int v = 0; v <= 255; ++v) {
      for (int channel = 0; channel < 3; ++channel) {
        ASSERT_EQ(correction.correct(channel, uint8_t(v), 0, 0), v);
        ASSERT_EQ(correction.correct(channel, uint8_t(v), 30, 16), v);
      }
      ASSERT_EQ(correction.correctGrey(uint8_t(v), 15, 8), v);
    }
  }
}

TEST(PhotometricTest, VignettingTableFollowsThePolynomial) {
  const PhotometricParams params = {
      .va = 1.0, .vb = -0.35, .vc = 0.08, .vd = -0.01, .vx = 12.5, .vy = -7};
  const int width = 300;
  const int height = 200;
  PhotometricCorrection correction;
  ASSERT_TRUE(correction.build(params, width, height, 0.0, nullptr));
  EXPECT_FALSE(correction.identity());
  const int pixels[][2] = {{0, 0}, {299, 199}, {161, 92}, {0, 199}, {299, 0}, {150, 100}};
  for (const auto& p : pixels) {
    const double expected = 1.0 / vignetting(params, width, height, p[0], p[1]);
    EXPECT_NEAR(correction.inverseVignetting(p[0], p[1]) / expected, 1.0, 2e-4)
        << p[0] << "," << p[1];
  }
}

// Two photographs of one scene, 1 EV apart, with vignetting and white balance,
// made with the sRGB curve: after correction they agree within 3 grey levels
// wherever neither is clipped, and both show the scene at the mean exposure.
TEST(PhotometricTest, PhotographsOneStopApartMatchAfterCorrection) {
  const int width = 96;
  const int height = 64;
  PhotometricParams darker = {.exposureValue = 10.0,
                              .redBalance = 1.15,
                              .blueBalance = 0.85,
                              .va = 1.0,
                              .vb = -0.4,
                              .vc = 0.1,
                              .vx = 4,
                              .vy = -3};
  PhotometricParams brighter = darker;
  brighter.exposureValue = 9.0;  // one stop more light
  const double output = 9.5;     // the mean exposure value
  PhotometricCorrection correctDarker;
  PhotometricCorrection correctBrighter;
  ASSERT_TRUE(correctDarker.build(darker, width, height, output, nullptr));
  ASSERT_TRUE(correctBrighter.build(brighter, width, height, output, nullptr));
  const double balance[3] = {darker.redBalance, 1.0, darker.blueBalance};
  int compared = 0;
  int worst = 0;
  int worstUncorrected = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int channel = 0; channel < 3; ++channel) {
        // Scene light from deep shadow to bright, different per channel.
        const double scene = 0.002 + 0.5 * std::pow((x + 0.37 * y + 11 * channel) / 130.0, 2);
        const double seen = scene * vignetting(darker, width, height, x, y) * balance[channel];
        auto shoot = [&](double exposureValue) {
          const double light = seen * std::exp2(output - exposureValue);
          return static_cast<int>(std::lround(255 * linearToSrgb(light)));
        };
        const int a = shoot(darker.exposureValue);
        const int b = shoot(brighter.exposureValue);
        if (b >= 255) continue;
        const int fixedA = correctDarker.correct(channel, uint8_t(a), x, y);
        const int fixedB = correctBrighter.correct(channel, uint8_t(b), x, y);
        const int truth = static_cast<int>(std::lround(255 * linearToSrgb(scene)));
        worst = std::max(worst, std::abs(fixedA - fixedB));
        worstUncorrected = std::max(worstUncorrected, b - a);
        ASSERT_LE(std::abs(fixedA - fixedB), 3) << x << "," << y << " channel " << channel;
        ASSERT_LE(std::abs(fixedA - truth), 3) << x << "," << y << " channel " << channel;
        ++compared;
      }
    }
  }
  EXPECT_GT(compared, width * height * 2);
  RecordProperty("worst_grey_levels", worst);
  std::printf("one stop apart: worst %d grey levels after correction, %d before\n", worst,
              worstUncorrected);
  // Uncorrected, the same samples differ by far more.
  EXPECT_GT(worstUncorrected, 40);
}

TEST(PhotometricTest, BlueGreenRedPixelsAndGreyscaleUseTheirBalance) {
  const PhotometricParams colour = {.redBalance = 2.0, .blueBalance = 0.5};
  PhotometricCorrection correction;
  ASSERT_TRUE(correction.build(colour, 10, 10, 0.0, nullptr));
  uint8_t bgr[3] = {100, 100, 100};
  correction.correctBgr(bgr, 3, 3);
  EXPECT_EQ(bgr[0], correction.correct(2, 100, 3, 3));
  EXPECT_EQ(bgr[1], 100);
  EXPECT_EQ(bgr[2], correction.correct(0, 100, 3, 3));
  EXPECT_GT(bgr[0], 100);  // blue recorded at half strength comes out brighter
  EXPECT_LT(bgr[2], 100);  // red recorded at double strength comes out darker
  const int expectedRed =
      static_cast<int>(std::lround(255 * linearToSrgb(srgbToLinear(100 / 255.0) / 2)));
  EXPECT_EQ(bgr[2], expectedRed);

  PhotometricParams grey = colour;
  grey.greyscale = true;
  ASSERT_TRUE(correction.build(grey, 10, 10, 0.0, nullptr));
  EXPECT_EQ(correction.correctGrey(100, 3, 3), 100);
  EXPECT_EQ(correction.correct(0, 100, 3, 3), 100);
}

TEST(PhotometricTest, BadValuesAreRefusedAndLeaveTheTablesAsTheyWere) {
  struct Case {
    const char* what;
    PhotometricParams params;
    int width;
    int height;
  };
  const Case cases[] = {
      {"no width", {}, 0, 10},
      {"exposure not finite", {.exposureValue = NAN}, 10, 10},
      {"red balance zero", {.redBalance = 0.0}, 10, 10},
      {"blue balance negative", {.blueBalance = -1.0}, 10, 10},
      {"vignetting not finite", {.vc = INFINITY}, 10, 10},
      {"vignetting reaching zero in the corners", {.va = 1.0, .vb = -1.5}, 10, 10},
      {"exposure out of range", {.exposureValue = 5000}, 10, 10},
  };
  PhotometricCorrection correction;
  ASSERT_TRUE(correction.build({.exposureValue = 1.0}, 10, 10, 0.0, nullptr));
  const uint8_t before = correction.correct(1, 80, 2, 2);
  for (const Case& k : cases) {
    std::string error;
    EXPECT_FALSE(correction.build(k.params, k.width, k.height, 0.0, &error)) << k.what;
    EXPECT_FALSE(error.empty()) << k.what;
    EXPECT_EQ(correction.correct(1, 80, 2, 2), before) << k.what;
  }
}

}  // namespace
