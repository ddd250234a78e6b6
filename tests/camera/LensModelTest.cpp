#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/Constants.h"
#include "camera/Frame.h"
#include "camera/LensMapping.h"
#include "camera/LensModel.h"
#include "support/LensMaking.h"

namespace {

double deg(double degrees) { return degreesToRadians(degrees); }

// Camera-frame direction `right` degrees to the right of the axis and `up`
// degrees above the horizontal plane through it.
Vec3 cameraDirection(double right, double up) {
  return {std::cos(deg(up)) * std::sin(deg(right)), std::sin(deg(up)),
          std::cos(deg(up)) * std::cos(deg(right))};
}

// Camera-frame direction at angle `theta` from the axis, towards the image's
// right (and up when `upwards`).
Vec3 offAxis(double theta, bool upwards = false) {
  return upwards ? Vec3{0.0, std::sin(deg(theta)), std::cos(deg(theta))}
                 : Vec3{std::sin(deg(theta)), 0.0, std::cos(deg(theta))};
}

LensModel prepared(const Lens& lens) {
  LensModel model;
  std::string error;
  EXPECT_TRUE(prepareLens(lens, &model, &error)) << error;
  return model;
}

double angleBetween(const Vec3& a, const Vec3& b) {
  const Vec3 c = cross(a, b);
  return std::atan2(std::sqrt(dot(c, c)), dot(a, b));
}

const Projection kAllProjections[] = {Projection::Rectilinear,     Projection::Cylindrical,
                                      Projection::CircularFisheye, Projection::FullFrameFisheye,
                                      Projection::Equirectangular, Projection::Orthographic,
                                      Projection::Stereographic,   Projection::Equisolid};

TEST(LensModelTest, ProjectionsPlaceKnownDirectionsAtKnownPositions) {
  struct Case {
    const char* what;
    Projection projection;
    int width;
    int height;
    double v;
    Vec3 q;
    double column;
    double row;
  };
  const double up45 = 400.0 - 1000.0 / kPi;  // cylinder, 45 degrees up: y = -F tan 45
  const Case cases[] = {
      {"rectilinear centre", Projection::Rectilinear, 1000, 800, 90, offAxis(0), 500, 400},
      {"rectilinear 45 right = right edge", Projection::Rectilinear, 1000, 800, 90, offAxis(45),
       1000, 400},
      {"rectilinear 45 left = left edge", Projection::Rectilinear, 1000, 800, 90, offAxis(-45), 0,
       400},
      {"rectilinear up to the top edge", Projection::Rectilinear, 1000, 800, 90,
       offAxis(std::atan(0.8) * 180 / kPi, true), 500, 0},
      {"cylindrical 90 right", Projection::Cylindrical, 1000, 800, 180, offAxis(90), 1000, 400},
      {"cylindrical 45 up", Projection::Cylindrical, 1000, 800, 180, offAxis(45, true), 500, up45},
      {"circular fisheye rim", Projection::CircularFisheye, 1000, 1000, 180, offAxis(90), 1000,
       500},
      {"circular fisheye 45", Projection::CircularFisheye, 1000, 1000, 180, offAxis(45), 750, 500},
      {"full-frame fisheye 30 up", Projection::FullFrameFisheye, 1200, 800, 120, offAxis(30, true),
       600, 400 - 300},
      {"equirectangular 90 right", Projection::Equirectangular, 2000, 1000, 360, offAxis(90), 1500,
       500},
      {"equirectangular straight up", Projection::Equirectangular, 2000, 1000, 360, Vec3{0, 1, 0},
       1000, 0},
      {"equirectangular 30 up 60 left", Projection::Equirectangular, 2000, 1000, 360,
       cameraDirection(-60, 30), 1000 - 2000.0 / 6, 500 - 1000.0 / 6},
      {"orthographic 30", Projection::Orthographic, 1000, 1000, 180, offAxis(30), 750, 500},
      {"orthographic rim", Projection::Orthographic, 1000, 1000, 180, offAxis(90), 1000, 500},
      {"stereographic 90", Projection::Stereographic, 1000, 1000, 180, offAxis(90), 1000, 500},
      {"stereographic 60", Projection::Stereographic, 1000, 1000, 180, offAxis(60),
       500 + 500 * std::tan(deg(30)), 500},
      {"equisolid 90", Projection::Equisolid, 1000, 1000, 180, offAxis(90), 1000, 500},
      {"equisolid 60", Projection::Equisolid, 1000, 1000, 180, offAxis(60),
       500 + 1000 / (4 * std::sin(deg(45))), 500},
  };
  for (const Case& k : cases) {
    const LensModel model = prepared(makeLens(k.projection, k.width, k.height, k.v));
    double column = -1;
    double row = -1;
    ASSERT_TRUE(projectToImage(model, k.q, &column, &row)) << k.what;
    EXPECT_NEAR(column, k.column, 1e-9) << k.what;
    EXPECT_NEAR(row, k.row, 1e-9) << k.what;
    // Positions on the picture's far edges count as seen and land in its
    // last pixel.
    ASSERT_TRUE(directionToPixel(model, k.q, &column, &row)) << k.what;
    EXPECT_LT(static_cast<int>(column), k.width) << k.what;
    EXPECT_LT(static_cast<int>(row), k.height) << k.what;
  }
}

// Lenses with distortion and shifts, one per projection.
std::vector<Lens> distortedLenses() {
  std::vector<Lens> lenses;
  for (Projection p : kAllProjections) {
    const bool turns = p == Projection::Equirectangular || p == Projection::Cylindrical;
    Lens lens = makeLens(p, 900, 600, turns ? 200 : (p == Projection::Rectilinear ? 75 : 170));
    lens.a = 0.01;
    lens.b = -0.04;
    lens.c = 0.02;
    lens.d = 12.5;
    lens.e = -7.25;
    lenses.push_back(lens);
  }
  return lenses;
}

TEST(LensModelTest, PixelToDirectionAndBackIsExactForEveryProjection) {
  for (const Lens& lens : distortedLenses()) {
    const LensModel model = prepared(lens);
    int checked = 0;
    for (double row = 0.5; row < lens.height; row += 37.3) {
      for (double column = 0.25; column < lens.width; column += 41.7) {
        Vec3 q;
        if (!pixelToDirection(model, column, row, &q)) continue;
        EXPECT_NEAR(dot(q, q), 1.0, 1e-12);
        double c = 0;
        double r = 0;
        ASSERT_TRUE(projectToImage(model, q, &c, &r))
            << "projection " << int(lens.projection) << " at " << column << "," << row;
        EXPECT_NEAR(c, column, 1e-6) << "projection " << int(lens.projection);
        EXPECT_NEAR(r, row, 1e-6) << "projection " << int(lens.projection);
        ++checked;
      }
    }
    // Orthographic at 170 degrees reaches only its circle; all others the whole picture.
    EXPECT_GT(checked, lens.projection == Projection::Orthographic ? 150 : 300)
        << "projection " << int(lens.projection);
  }
}

TEST(LensModelTest, DirectionToPixelAndBackIsExactForEveryProjection) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> angle(-1.0, 1.0);
  for (const Lens& lens : distortedLenses()) {
    const LensModel model = prepared(lens);
    int checked = 0;
    for (int i = 0; i < 2000; ++i) {
      const Vec3 q = cameraDirection(100 * angle(random), 80 * angle(random));
      double column = 0;
      double row = 0;
      if (!directionToPixel(model, q, &column, &row)) continue;
      Vec3 back;
      ASSERT_TRUE(pixelToDirection(model, column, row, &back));
      EXPECT_LT(angleBetween(q, back), 1e-9) << "projection " << int(lens.projection);
      ++checked;
    }
    EXPECT_GT(checked, 100) << "projection " << int(lens.projection);
  }
}

TEST(LensModelTest, RefusesWhatThePhotographDoesNotSee) {
  Lens rect = makeLens(Projection::Rectilinear, 1000, 800, 90);
  Lens cropped = rect;
  cropped.cropped = true;
  cropped.cropLeft = 100;
  cropped.cropRight = 900;
  cropped.cropTop = 50;
  cropped.cropBottom = 700;
  Lens masked = rect;
  masked.masks.push_back({0, {{400, 300}, {600, 300}, {600, 500}, {400, 500}}});
  masked.masks.push_back({1, {{0, 0}, {10, 0}, {10, 10}}});       // include: hides nothing here
  masked.masks.push_back({2, {{0, 0}, {1000, 0}, {1000, 800}}});  // stack mask: ignored
  Lens fisheye = makeLens(Projection::CircularFisheye, 1200, 1000, 180);
  Lens ortho = makeLens(Projection::Orthographic, 1000, 1000, 179);
  Lens turning = rect;
  turning.a = -0.5;  // p'(rho) = -2 rho^3 + 1.5 turns at rho = 0.909 inside the picture
  Lens cylinder = makeLens(Projection::Cylindrical, 1000, 400, 120);
  Lens partialSphere = makeLens(Projection::Equirectangular, 1000, 500, 180);
  struct Case {
    const char* what;
    const Lens* lens;
    Vec3 q;
    bool seen;
  };
  const Case cases[] = {
      {"ahead", &rect, offAxis(0), true},
      {"behind a rectilinear camera", &rect, offAxis(180), false},
      {"sideways to a rectilinear camera", &rect, offAxis(90), false},
      {"beyond the rectilinear field", &rect, offAxis(46), false},
      {"inside the crop", &cropped, offAxis(30), true},
      {"outside the crop", &cropped, offAxis(40), false},
      {"inside an exclude mask", &masked, offAxis(0), false},
      {"beside an exclude mask", &masked, offAxis(20), true},
      // F = 1200 / pi: the circle's radius of 500 pixels reaches 75 degrees.
      {"inside the fisheye circle", &fisheye, offAxis(70), true},
      {"outside the fisheye circle, inside the picture", &fisheye, offAxis(80), false},
      {"straight behind a fisheye", &fisheye, offAxis(180), false},
      {"orthographic behind its hemisphere", &ortho, offAxis(91), false},
      {"distortion still increasing", &turning, offAxis(30), true},
      {"distortion no longer increasing", &turning, cameraDirection(40, 30), false},
      {"cylinder pole", &cylinder, Vec3{0, 1, 0}, false},
      {"beyond the cylinder's field", &cylinder, offAxis(61), false},
      // 180 x 90 degrees of the sphere.
      {"beyond a partial sphere's columns", &partialSphere, offAxis(91), false},
      {"beyond a partial sphere's rows", &partialSphere, cameraDirection(0, 46), false},
      {"inside a partial sphere", &partialSphere, cameraDirection(89, 44), true},
  };
  for (const Case& k : cases) {
    const LensModel model = prepared(*k.lens);
    double column = 0;
    double row = 0;
    EXPECT_EQ(directionToPixel(model, k.q, &column, &row), k.seen) << k.what;
  }
}

TEST(LensModelTest, MasksHideOnlyWhatTheyCover) {
  Lens lens = makeLens(Projection::Rectilinear, 200, 100, 60);
  lens.masks.push_back({0, {{20, 20}, {80, 20}, {50, 80}}});                // triangle, hides
  lens.masks.push_back({4, {{150, 10}, {190, 10}, {190, 40}, {150, 40}}});  // lens mask, hides
  lens.masks.push_back({1, {{100, 50}, {140, 50}, {140, 90}, {100, 90}}});  // include
  const LensModel model = prepared(lens);
  struct Case {
    double column;
    double row;
    bool seen;
    bool included;
  };
  const Case cases[] = {
      {50, 40, false, false},  {25, 75, true, false}, {77, 25, false, false}, {85, 25, true, false},
      {170, 20, false, false}, {120, 70, true, true}, {99, 70, true, false},
  };
  for (const Case& k : cases) {
    double c = k.column;
    double r = k.row;
    EXPECT_EQ(seesPosition(model, &c, &r), k.seen) << k.column << "," << k.row;
    EXPECT_EQ(insideIncludeMask(model, k.column, k.row), k.included) << k.column << "," << k.row;
  }
}

TEST(LensModelTest, CoverageConeHoldsEverySeenDirectionAndIsTight) {
  std::vector<Lens> lenses = distortedLenses();
  Lens cropped = makeLens(Projection::CircularFisheye, 1200, 1000, 190);
  cropped.cropped = true;
  cropped.cropLeft = 150;
  cropped.cropRight = 1050;
  cropped.cropTop = 50;
  cropped.cropBottom = 950;
  cropped.d = 20;
  lenses.push_back(cropped);
  lenses.push_back(makeLens(Projection::Equirectangular, 2000, 1000, 360));
  lenses.push_back(makeLens(Projection::Equirectangular, 600, 200, 120));
  lenses.push_back(makeLens(Projection::Cylindrical, 3000, 500, 360));
  std::mt19937 random(11);
  std::normal_distribution<double> normal;
  for (const Lens& lens : lenses) {
    const LensModel model = prepared(lens);
    const double radius = coverageRadius(model);
    EXPECT_GT(radius, 0.0);
    EXPECT_LE(radius, kPi);
    double widest = 0.0;
    for (int i = 0; i < 20000; ++i) {
      const Vec3 q = {normal(random), normal(random), normal(random)};
      double column = 0;
      double row = 0;
      if (!directionToPixel(model, q, &column, &row)) continue;
      const double angle = std::atan2(std::hypot(q.x, q.y), q.z);
      widest = std::max(widest, angle);
      ASSERT_LE(angle, radius) << "projection " << int(lens.projection);
    }
    // Random directions come within a few degrees of the widest seen one.
    EXPECT_LT(radius - widest, deg(6)) << "projection " << int(lens.projection);
  }
  // Rectilinear 1000 x 800 at 90 degrees: the corner is atan(640.3 / 500) away.
  const LensModel rect = prepared(makeLens(Projection::Rectilinear, 1000, 800, 90));
  EXPECT_NEAR(coverageRadius(rect), std::atan(std::hypot(500.0, 400.0) / 500.0), 1e-8);
}

TEST(LensModelTest, BlendWeightFallsFromTheCentreAndNeverVanishes) {
  const LensModel rect = prepared(makeLens(Projection::Rectilinear, 1000, 800, 90));
  const LensModel fisheye = prepared(makeLens(Projection::CircularFisheye, 1000, 1000, 180));
  const LensModel ortho = prepared(makeLens(Projection::Orthographic, 1000, 1000, 180));
  const LensModel sphere = prepared(makeLens(Projection::Equirectangular, 2000, 1000, 360));
  const LensModel band = prepared(makeLens(Projection::Equirectangular, 2000, 400, 360));
  struct Case {
    const char* what;
    const LensModel* model;
    double column;
    double row;
    double low;
    double high;
  };
  const Case cases[] = {
      {"rectilinear centre", &rect, 500, 400, 1.0, 1.0},
      {"rectilinear edge", &rect, 0, 400, 1e-3, 1e-3},
      {"rectilinear last pixel", &rect, 999.5, 799.5, 1e-3, 1.01e-3},
      // 1e-3 + 0.999 s(0.5)
      {"rectilinear halfway", &rect, 250, 400, 0.5005, 0.5005},
      {"fisheye centre", &fisheye, 500, 500, 1.0, 1.0},
      {"fisheye rim", &fisheye, 1000, 500, 1e-3, 1e-3},
      {"fisheye near the rim", &fisheye, 500, 990, 1e-3, 0.01},
      {"fisheye outside the circle", &fisheye, 990, 990, 1e-3, 1e-3},
      // Orthographic 180: radius 250 of 500 is asin(0.5) = 30 of 90 degrees.
      {"orthographic in angle", &ortho, 750, 500, 0.74099, 0.74100},
      {"full sphere centre", &sphere, 1000, 500, 1.0, 1.0},
      {"full sphere seam", &sphere, 0, 500, 1.0, 1.0},
      {"full sphere top pole", &sphere, 1000, 0, 1.0, 1.0},
      {"full sphere bottom pole", &sphere, 1999.9, 999.9, 1.0, 1.0},
      {"band seam", &band, 0, 200, 1.0, 1.0},
      {"band top border", &band, 700, 0, 1e-3, 1e-3},
  };
  for (const Case& k : cases) {
    const double w = blendWeight(*k.model, k.column, k.row);
    EXPECT_GE(w, k.low - 1e-9) << k.what;
    EXPECT_LE(w, k.high + 1e-9) << k.what;
  }
  // Along a ray from the centre to a corner the weight never rises.
  const LensModel* models[] = {&rect, &fisheye, &ortho, &band};
  for (const LensModel* model : models) {
    const double x0 = 0.5 * (model->left + model->right);
    const double y0 = 0.5 * (model->top + model->bottom);
    double previous = 2.0;
    for (double t = 0.0; t <= 1.0; t += 0.01) {
      const double w = blendWeight(*model, x0 + t * (model->right - 0.1 - x0),
                                   y0 + t * (model->bottom - 0.1 - y0));
      EXPECT_GT(w, 0.0);
      EXPECT_LE(w, previous + 1e-12);
      previous = w;
    }
  }
}

TEST(LensModelTest, BadLensesAreRefusedWithAReason) {
  struct Case {
    const char* what;
    Lens lens;
  };
  std::vector<Case> cases;
  auto add = [&](const char* what, auto change) {
    Lens lens = makeLens(Projection::Rectilinear, 100, 80, 50);
    change(lens);
    cases.push_back({what, lens});
  };
  add("no width", [](Lens& l) { l.width = 0; });
  add("negative height", [](Lens& l) { l.height = -3; });
  add("unknown projection", [](Lens& l) { l.projection = static_cast<Projection>(5); });
  add("rectilinear at 180", [](Lens& l) { l.hfovDegrees = 180; });
  add("no field of view", [](Lens& l) { l.hfovDegrees = 0; });
  add("field of view not a number", [](Lens& l) { l.hfovDegrees = std::nan(""); });
  add("stereographic at 360", [](Lens& l) {
    l.projection = Projection::Stereographic;
    l.hfovDegrees = 360;
  });
  add("distortion not finite", [](Lens& l) { l.b = INFINITY; });
  add("distortion decreasing at the centre", [](Lens& l) { l.a = 1.5; });
  add("shift not finite", [](Lens& l) { l.e = std::nan(""); });
  add("empty crop", [](Lens& l) {
    l.cropped = true;
    l.cropLeft = l.cropRight = 10;
    l.cropBottom = 50;
  });
  add("crop beside the picture", [](Lens& l) {
    l.cropped = true;
    l.cropLeft = 200;
    l.cropRight = 300;
    l.cropBottom = 50;
  });
  add("mask of two points", [](Lens& l) { l.masks.push_back({0, {{1, 1}, {5, 5}}}); });
  add("mask point not finite", [](Lens& l) {
    l.masks.push_back({0, {{1, 1}, {5, 5}, {INFINITY, 2}}});
  });
  for (const Case& k : cases) {
    LensModel model;
    model.f = 1234.0;
    std::string error;
    EXPECT_FALSE(prepareLens(k.lens, &model, &error)) << k.what;
    EXPECT_FALSE(error.empty()) << k.what;
    EXPECT_EQ(model.f, 1234.0) << k.what << ": the model must stay as it was";
  }
  // Values at the ends of the ranges that still make a lens.
  const Lens good[] = {makeLens(Projection::FullFrameFisheye, 100, 80, 400),
                       makeLens(Projection::Equirectangular, 100, 80, 720),
                       makeLens(Projection::Rectilinear, 1, 1, 179.9)};
  for (const Lens& lens : good) {
    LensModel model;
    EXPECT_TRUE(prepareLens(lens, &model, nullptr));
  }
}

}  // namespace
