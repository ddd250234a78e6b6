// Cross-checks the lens maths against the stitcher's own remapper, nona (from
// the hugin-tools package): each case remaps a photograph whose pixels hold
// their own positions (a float ramp) into a 360 x 180 degree picture, so each
// output pixel tells which photograph position the stitcher sampled for its
// direction. Skipped where nona is not installed.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "base/Constants.h"
#include "camera/Frame.h"
#include "camera/LensMapping.h"
#include "camera/LensModel.h"
#include "support/TempDir.h"

namespace {

constexpr int kOutWidth = 720;
constexpr int kOutHeight = 360;

bool nonaInstalled() {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::stringstream folders(path);
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    if (!folder.empty() && std::filesystem::exists(std::filesystem::path(folder) / "nona")) {
      return true;
    }
  }
  return false;
}

struct NonaCase {
  const char* name;
  int projection;
  int width;
  int height;
  double v;
  double yaw = 0, pitch = 0, roll = 0;
  double a = 0, b = 0, c = 0, d = 0, e = 0;
  std::vector<double> crop = {};  // left, right, top, bottom
  int maskType = -1;              // -1: no mask
  std::vector<PixelPoint> mask = {};
};

Lens lensOf(const NonaCase& k) {
  Lens lens;
  lens.width = k.width;
  lens.height = k.height;
  EXPECT_TRUE(projectionFromCode(k.projection, &lens.projection));
  lens.hfovDegrees = k.v;
  lens.a = k.a;
  lens.b = k.b;
  lens.c = k.c;
  lens.d = k.d;
  lens.e = k.e;
  if (!k.crop.empty()) {
    lens.cropped = true;
    lens.cropLeft = k.crop[0];
    lens.cropRight = k.crop[1];
    lens.cropTop = k.crop[2];
    lens.cropBottom = k.crop[3];
  }
  if (k.maskType >= 0) lens.masks.push_back({k.maskType, k.mask});
  return lens;
}

// A float picture whose pixel (c, r) holds base + span (c + 0.5) / w in red
// and base + span (r + 0.5) / h in green: bilinear sampling returns the
// sampled position. (nona's float path keeps about 1e-6 of a value; values
// near zero fare worst, hence the base.)
constexpr float kRampBase = 0.5f;
constexpr float kRampSpan = 0.25f;

void writeRamp(const std::string& file, int width, int height) {
  cv::Mat ramp(height, width, CV_32FC3);
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < width; ++c) {
      ramp.at<cv::Vec3f>(r, c) = cv::Vec3f(0.25f, kRampBase + kRampSpan * (r + 0.5f) / height,
                                           kRampBase + kRampSpan * (c + 0.5f) / width);
    }
  }
  ASSERT_TRUE(cv::imwrite(file, ramp, {cv::IMWRITE_TIFF_COMPRESSION, 1}));
}

// The project's lines for one photograph (its picture is "ramp.tif") and its
// mask, if any.
std::string imageLines(const NonaCase& k, int index) {
  std::ostringstream s;
  s.precision(17);
  s << "i w" << k.width << " h" << k.height << " f" << k.projection << " v" << k.v << " y" << k.yaw
    << " p" << k.pitch << " r" << k.roll << " a" << k.a << " b" << k.b << " c" << k.c << " d" << k.d
    << " e" << k.e << " Eev0 Er1 Eb1 Ra0 Rb0 Rc0 Rd0 Re0 Va1 Vb0 Vc0 Vd0 Vx0 Vy0 Vm5";
  if (!k.crop.empty()) {
    s << " S" << k.crop[0] << "," << k.crop[1] << "," << k.crop[2] << "," << k.crop[3];
  }
  s << " n\"ramp.tif\"\n";
  if (k.maskType >= 0) {
    s << "k i" << index << " t" << k.maskType << " p\"";
    for (size_t i = 0; i < k.mask.size(); ++i) {
      s << (i ? " " : "") << k.mask[i].x << " " << k.mask[i].y;
    }
    s << "\"\n";
  }
  return s.str();
}

// Remaps the photographs (all of one size) into the 360 x 180 degree output
// and returns one 4-channel float picture per photograph (empty on failure).
std::vector<cv::Mat> runNona(const TempDir& dir, const std::vector<NonaCase>& images) {
  writeRamp(dir.file("ramp.tif"), images[0].width, images[0].height);
  {
    std::ofstream project(dir.file("case.pto"));
    project << "p f2 w" << kOutWidth << " h" << kOutHeight
            << " v360 E0 R0 n\"TIFF_m c:NONE\"\nm i5\n";
    for (size_t i = 0; i < images.size(); ++i) project << imageLines(images[i], int(i));
  }
  const std::string command =
      "cd '" + dir.path().string() + "' && nona -m TIFF_m -p FLOAT -o out case.pto > nona.log 2>&1";
  std::vector<cv::Mat> outputs;
  if (std::system(command.c_str()) != 0) {
    ADD_FAILURE() << readWholeFile(dir.file("nona.log"));
    return outputs;
  }
  for (size_t i = 0; i < images.size(); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "out%04d.tif", static_cast<int>(i));
    cv::Mat out = cv::imread(dir.file(name), cv::IMREAD_UNCHANGED);
    if (out.type() != CV_32FC4 || out.cols != kOutWidth || out.rows != kOutHeight) {
      ADD_FAILURE() << name << " is not a " << kOutWidth << " x " << kOutHeight
                    << " float picture with alpha";
      return {};
    }
    outputs.push_back(out);
  }
  return outputs;
}

// This viewer's world direction of output pixel (x, y) of the 360 x 180
// degree output: yaw and pitch of its centre, then azimuth = -yaw and
// altitude = 90 degrees + pitch.
Vec3 outputDirection(int x, int y) {
  const double yaw = ((x + 0.5) / kOutWidth - 0.5) * 2.0 * kPi;
  const double pitch = (0.5 - (y + 0.5) / kOutHeight) * kPi;
  return viewFrame(kPi / 2 + pitch, -yaw, 1.0, 1.0, 1.0).d;
}

// Whether visibility is the same 2 pixels around the position in every
// direction (visibility is compared only there: an interpolator reaches a
// pixel further than the edge itself).
bool robustlySeenOrNot(const LensModel& model, double column, double row, bool seen) {
  for (double dx = -2; dx <= 2; dx += 2) {
    for (double dy = -2; dy <= 2; dy += 2) {
      double c = column + dx;
      double r = row + dy;
      if (seesPosition(model, &c, &r) != seen) return false;
    }
  }
  return true;
}

// Whether the position is 2 pixels from the picture's edges, where the ramp
// is continuous and complete for the interpolator.
bool awayFromEdges(const LensModel& model, double column, double row) {
  constexpr double kMargin = 2.0;
  return column >= kMargin && row >= kMargin && column <= model.lens.width - kMargin &&
         row <= model.lens.height - kMargin;
}

class NonaCrossCheck : public ::testing::TestWithParam<NonaCase> {};

TEST_P(NonaCrossCheck, SamplesTheSamePositionsAndHidesTheSameDirections) {
  if (!nonaInstalled()) {
    GTEST_SKIP() << "nona (hugin-tools) is not installed";
  }
  const NonaCase& k = GetParam();
  TempDir dir;
  const std::vector<cv::Mat> outputs = runNona(dir, {k});
  ASSERT_EQ(outputs.size(), 1u);
  const cv::Mat& out = outputs[0];

  LensModel model;
  std::string error;
  ASSERT_TRUE(prepareLens(lensOf(k), &model, &error)) << error;
  const Mat3 rotation = photoRotation(k.yaw, k.pitch, k.roll);
  int compared = 0;
  int hidden = 0;
  double worst = 0.0;
  for (int y = 0; y < kOutHeight; ++y) {
    for (int x = 0; x < kOutWidth; ++x) {
      const cv::Vec4f& value = out.at<cv::Vec4f>(y, x);
      const bool nonaSees = value[3] > 0.5f;
      double column = 0.0;
      double row = 0.0;
      const Vec3 q = worldToCamera(rotation, outputDirection(x, y));
      const bool projects = projectToImage(model, q, &column, &row);
      double c = column;
      double r = row;
      const bool sees = projects && seesPosition(model, &c, &r);
      if (!projects) {
        // Behind a camera, beyond a fisheye's reach: nona shows nothing either.
        EXPECT_FALSE(nonaSees) << "output " << x << "," << y;
        ++hidden;
        continue;
      }
      if (!robustlySeenOrNot(model, column, row, sees)) continue;
      if (!sees) ++hidden;
      ASSERT_EQ(sees, nonaSees) << "output " << x << "," << y << " position " << column << ","
                                << row;
      if (!sees || !awayFromEdges(model, column, row)) continue;
      const double nonaColumn = (value[2] - kRampBase) / kRampSpan * k.width;
      const double nonaRow = (value[1] - kRampBase) / kRampSpan * k.height;
      const double miss = std::hypot(nonaColumn - column, nonaRow - row);
      worst = std::max(worst, miss);
      ASSERT_LT(miss, 5e-3) << "output " << x << "," << y << ": nona " << nonaColumn << ","
                            << nonaRow << ", ours " << column << "," << row;
      ++compared;
    }
  }
  EXPECT_GT(compared, 300);
  std::printf("%s: %d compared, worst miss %.2e pixel, %d hidden\n", k.name, compared, worst,
              hidden);
  RecordProperty("worst_pixel_miss", std::to_string(worst));
  if (k.projection != 4 || k.v < 360) {
    EXPECT_GT(hidden, 1000);  // all but a full sphere leave much of the sphere unseen
  }
}

// clang-format off
const NonaCase kCases[] = {
    {.name = "EquirectangularIdentity", .projection = 4, .width = 720, .height = 360, .v = 360},
    {.name = "EquirectangularTurned", .projection = 4, .width = 360, .height = 180, .v = 360,
     .yaw = 30, .pitch = 20, .roll = 10},
    {.name = "EquirectangularPartial", .projection = 4, .width = 400, .height = 200, .v = 200,
     .pitch = 10, .roll = -5},
    {.name = "RectilinearYaw", .projection = 0, .width = 160, .height = 120, .v = 60, .yaw = 30},
    {.name = "RectilinearPitch", .projection = 0, .width = 160, .height = 120, .v = 60,
     .pitch = 20},
    {.name = "RectilinearRoll", .projection = 0, .width = 160, .height = 120, .v = 60, .roll = 25},
    {.name = "RectilinearTurnedAllWays", .projection = 0, .width = 160, .height = 120, .v = 70,
     .yaw = -100, .pitch = -35, .roll = 70},
    {.name = "RectilinearDistortionA", .projection = 0, .width = 160, .height = 120, .v = 70,
     .a = 0.05},
    {.name = "RectilinearDistortionAll", .projection = 0, .width = 160, .height = 120, .v = 70,
     .yaw = 15, .a = 0.02, .b = -0.08, .c = 0.03},
    {.name = "RectilinearShift", .projection = 0, .width = 160, .height = 120, .v = 60, .yaw = 10,
     .d = 8, .e = -5},
    {.name = "RectilinearShiftAndDistortion", .projection = 0, .width = 160, .height = 120,
     .v = 60, .b = 0.06, .d = -6, .e = 9},
    {.name = "RectilinearCrop", .projection = 0, .width = 160, .height = 120, .v = 60,
     .crop = {20, 140, 10, 100}},
    {.name = "RectilinearExcludeMask", .projection = 0, .width = 160, .height = 120, .v = 60,
     .maskType = 0, .mask = {{40, 30}, {120, 40}, {80, 100}}},
    {.name = "RectilinearCropAndDistortion", .projection = 0, .width = 160, .height = 120, .v = 65,
     .b = -0.05, .d = 3, .crop = {10, 150, 20, 110}},
    // An include mask leaves the rest of its own photograph visible.
    {.name = "RectilinearIncludeMask", .projection = 0, .width = 160, .height = 120, .v = 60,
     .maskType = 1, .mask = {{40, 30}, {120, 40}, {80, 100}}},
    {.name = "CylindricalPitch", .projection = 1, .width = 300, .height = 100, .v = 120,
     .pitch = 10},
    // nona applies the circle only when the project gives a crop (without
    // one it shows the whole rectangle, where this model takes the circle
    // inscribed in the picture), so the case gives the whole picture as crop.
    {.name = "CircularFisheye", .projection = 2, .width = 200, .height = 150, .v = 180,
     .pitch = 30, .roll = 20, .crop = {0, 200, 0, 150}},
    {.name = "CircularFisheyeCropShift", .projection = 2, .width = 200, .height = 150, .v = 200,
     .yaw = -40, .d = 5, .e = 3, .crop = {30, 170, 5, 145}},
    {.name = "FullFrameFisheye", .projection = 3, .width = 200, .height = 150, .v = 150, .yaw = 40,
     .b = -0.05},
    {.name = "Orthographic", .projection = 8, .width = 200, .height = 200, .v = 180, .pitch = -20},
    {.name = "Stereographic", .projection = 10, .width = 200, .height = 150, .v = 150, .roll = -15},
    {.name = "Equisolid", .projection = 21, .width = 200, .height = 150, .v = 160, .yaw = 60},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Lenses, NonaCrossCheck, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(NonaIncludeMask, HidesTheOtherPhotographsWhereItIsSeen) {
  if (!nonaInstalled()) {
    GTEST_SKIP() << "nona (hugin-tools) is not installed";
  }
  const NonaCase winner = {.name = "winner",
                           .projection = 0,
                           .width = 160,
                           .height = 120,
                           .v = 60,
                           .maskType = 1,
                           .mask = {{40, 30}, {120, 40}, {80, 100}}};
  const NonaCase other = {
      .name = "other", .projection = 0, .width = 160, .height = 120, .v = 60, .yaw = 10};
  TempDir dir;
  const std::vector<cv::Mat> outputs = runNona(dir, {winner, other});
  ASSERT_EQ(outputs.size(), 2u);
  LensModel winnerModel;
  LensModel otherModel;
  ASSERT_TRUE(prepareLens(lensOf(winner), &winnerModel, nullptr));
  ASSERT_TRUE(prepareLens(lensOf(other), &otherModel, nullptr));
  const Mat3 winnerRotation = photoRotation(winner.yaw, winner.pitch, winner.roll);
  const Mat3 otherRotation = photoRotation(other.yaw, other.pitch, other.roll);
  int hiddenByMask = 0;
  for (int y = 0; y < kOutHeight; ++y) {
    for (int x = 0; x < kOutWidth; ++x) {
      const Vec3 direction = outputDirection(x, y);
      double c = 0.0;
      double r = 0.0;
      if (!directionToPixel(otherModel, worldToCamera(otherRotation, direction), &c, &r) ||
          !robustlySeenOrNot(otherModel, c, r, true)) {
        continue;
      }
      double wc = 0.0;
      double wr = 0.0;
      bool masked = false;
      bool robust = true;
      const bool winnerSees =
          directionToPixel(winnerModel, worldToCamera(winnerRotation, direction), &wc, &wr);
      if (winnerSees) {
        masked = insideIncludeMask(winnerModel, wc, wr);
        for (double d = -2; d <= 2; d += 4) {
          robust = robust && insideIncludeMask(winnerModel, wc + d, wr) == masked &&
                   insideIncludeMask(winnerModel, wc, wr + d) == masked;
        }
      }
      if (!robust) continue;
      const bool nonaShowsOther = outputs[1].at<cv::Vec4f>(y, x)[3] > 0.5f;
      ASSERT_EQ(nonaShowsOther, !masked) << "output " << x << "," << y;
      hiddenByMask += masked;
      // The winner itself shows everything it sees, mask or not.
      if (winnerSees && robustlySeenOrNot(winnerModel, wc, wr, true)) {
        ASSERT_GT(outputs[0].at<cv::Vec4f>(y, x)[3], 0.5f);
      }
    }
  }
  EXPECT_GT(hiddenByMask, 200);
}

}  // namespace
