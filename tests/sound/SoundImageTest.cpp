#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include <opencv2/core.hpp>

#include "camera/CamData.h"
#include "panorama/Picture.h"
#include "sound/SoundData.h"
#include "sound/SoundImage.h"

namespace {

constexpr double kPi = 3.141592653589793;

// Colours of the colour map in blue, green, red order.
const cv::Vec3b kColour0(128, 0, 0);        // value 0
const cv::Vec3b kColour01(230, 0, 0);       // value 0.1
const cv::Vec3b kColour025(255, 128, 0);    // value 0.25
const cv::Vec3b kColour05(128, 255, 128);   // value 0.5
const cv::Vec3b kColour075(0, 128, 255);    // value 0.75
const cv::Vec3b kColourLast(0, 0, 128);     // the last entry

// Adds a loaded set of cols x rows cells, all holding `fill`.
int addSet(SoundData* data, int cols, int rows, float fill) {
  data->grids.emplace_back(static_cast<std::size_t>(cols) * rows, fill);
  data->names.emplace_back("set");
  data->sizes.emplace_back(cols, rows);
  data->count = static_cast<int>(data->grids.size());
  data->loaded = true;
  return data->count - 1;
}

void setCell(SoundData* data, int index, int row, int col, float value) {
  data->grids[index][static_cast<std::size_t>(row) * data->sizes[index].first + col] = value;
}

// The start camera on a 700 x 480 canvas, turned to `altitude` and `azimuth`.
CamData camera(double altitude = kPi / 2, double azimuth = 0.0) {
  CamData cam;
  cam.altitude = altitude;
  cam.azimuth = azimuth;
  return cam;
}

cv::Mat drawn(const CamData& cam, const SoundData& data, int index) {
  auto view = Picture::forCamera(cam);
  EXPECT_EQ(computeSoundImage(view.get(), data, index), 0);
  return view->image.clone();
}

int pixelsNotOf(const cv::Mat& image, const cv::Vec3b& colour) {
  int others = 0;
  for (int i = 0; i < image.rows; ++i) {
    for (int j = 0; j < image.cols; ++j) {
      others += image.at<cv::Vec3b>(i, j) != colour;
    }
  }
  return others;
}

}  // namespace

TEST(SoundImage, OneCellGridColoursEveryPixel) {
  SoundData data;
  const int set = addSet(&data, 1, 1, 0.1f);
  for (const CamData& cam : {camera(), camera(0.0), camera(kPi), camera(0.3, 5.0)}) {
    const cv::Mat image = drawn(cam, data, set);
    ASSERT_EQ(image.cols, 700);
    ASSERT_EQ(image.rows, 480);
    EXPECT_EQ(pixelsNotOf(image, kColour01), 0) << cam.altitude << " " << cam.azimuth;
  }
}

TEST(SoundImage, HalfEverywhereGivesLightGreen) {
  SoundData data;
  const int set = addSet(&data, 360, 180, 0.5f);
  EXPECT_EQ(pixelsNotOf(drawn(camera(1.0, 2.0), data, set), kColour05), 0);
}

TEST(SoundImage, ValuesOfOneOrMoreShowTheLastColour) {
  SoundData data;
  const int set = addSet(&data, 4, 2, 9.9999f);
  setCell(&data, set, 1, 0, 1.0f);
  EXPECT_EQ(pixelsNotOf(drawn(camera(), data, set), kColourLast), 0);
}

TEST(SoundImage, CentreOfStartCameraShowsColumnZeroAndMiddleRow) {
  SoundData data;
  const int set = addSet(&data, 360, 180, 0.0f);
  setCell(&data, set, 90, 0, 0.5f);     // the centre's cell
  setCell(&data, set, 89, 0, 0.25f);    // one row nearer straight up
  setCell(&data, set, 90, 359, 0.75f);  // the azimuths just below 2 pi
  const cv::Mat image = drawn(camera(), data, set);
  EXPECT_EQ(image.at<cv::Vec3b>(240, 350), kColour05);
  // Just above the centre the ray tilts up into the row before.
  EXPECT_EQ(image.at<cv::Vec3b>(239, 350), kColour025);
  // Right of the centre the azimuth falls below 0 and wraps to 2 pi.
  EXPECT_EQ(image.at<cv::Vec3b>(240, 351), kColour075);
  // Left of the centre it grows, and stays in column 0 for a while.
  EXPECT_EQ(image.at<cv::Vec3b>(240, 349), kColour05);
  // Far away from the centre nothing of these cells shows.
  EXPECT_EQ(image.at<cv::Vec3b>(0, 0), kColour0);
}

TEST(SoundImage, ViewDirectionPicksTheCellOfItsAzimuthAndPolarAngle) {
  // 8 columns of 45 degrees and 4 rows of 45 degrees; the centre ray of a
  // camera looks exactly along its direction.
  struct Row {
    double altitude;
    double azimuth;
    int row;
    int col;
  };
  const Row rows[] = {
      {kPi / 2, kPi / 2 + 0.3, 2, 2},         // horizon, a quarter turn left
      {5 * kPi / 8, 0.2, 1, 0},               // above the horizon
      {3 * kPi / 8, 3 * kPi / 2 + 0.3, 2, 6},  // below the horizon
      {kPi / 2, 2 * kPi + 0.3, 2, 0},         // one full turn later
      {kPi / 2, -0.3, 2, 7},                  // negative azimuth
  };
  for (const Row& row : rows) {
    SoundData data;
    const int set = addSet(&data, 8, 4, 0.0f);
    setCell(&data, set, row.row, row.col, 0.75f);
    const cv::Mat image = drawn(camera(row.altitude, row.azimuth), data, set);
    EXPECT_EQ(image.at<cv::Vec3b>(240, 350), kColour075) << row.altitude << " " << row.azimuth;
  }
}

TEST(SoundImage, StraightDownAndUpStayOnTheGrid) {
  SoundData data;
  const int set = addSet(&data, 2, 4, 0.0f);
  for (int col = 0; col < 2; ++col) {
    setCell(&data, set, 3, col, 0.75f);  // the last row, nearest straight down
    setCell(&data, set, 0, col, 0.25f);  // the first row, nearest straight up
  }
  EXPECT_EQ(drawn(camera(0.0), data, set).at<cv::Vec3b>(240, 350), kColour075);
  EXPECT_EQ(drawn(camera(kPi), data, set).at<cv::Vec3b>(240, 350), kColour025);
}

TEST(SoundImage, IndexOutsideTheSetsLeavesTheImageAlone) {
  SoundData data;
  addSet(&data, 1, 1, 0.5f);
  auto view = Picture::forCamera(camera());
  EXPECT_EQ(computeSoundImage(view.get(), data, -1), -1);
  EXPECT_EQ(computeSoundImage(view.get(), data, 1), -1);
  EXPECT_EQ(view->useCount, 0);
  EXPECT_TRUE(view->image.empty());
}

TEST(SoundImage, SetWithoutItsCellsIsRefused) {
  SoundData data;
  const int set = addSet(&data, 3, 3, 0.5f);
  data.grids[set].resize(4);
  auto view = Picture::forCamera(camera());
  EXPECT_EQ(computeSoundImage(view.get(), data, set), -1);
  EXPECT_EQ(computeSoundImage(nullptr, data, set), -1);
}

TEST(SoundImage, RedrawingOverwritesEveryPixel) {
  SoundData data;
  const int low = addSet(&data, 1, 1, 0.0f);
  const int high = addSet(&data, 1, 1, 0.75f);
  auto view = Picture::forCamera(camera());
  ASSERT_EQ(computeSoundImage(view.get(), data, low), 0);
  ASSERT_EQ(computeSoundImage(view.get(), data, high), 0);
  EXPECT_EQ(pixelsNotOf(view->image, kColour075), 0);
}

TEST(SoundImage, RaysWithoutADirectionArePaintedBlackAndIndexNothing) {
  // A NaN or infinite camera passes every clamp as a NaN row and column; the
  // pixels are skipped (black, a colour the map never shows).
  const double nan = std::nan("");
  const double inf = HUGE_VAL;
  SoundData data;
  const int set = addSet(&data, 360, 180, 0.5f);
  struct Case {
    const char* name;
    double altitude;
    double azimuth;
    double f;
    int black;  // pixels painted black; the others show the grid's colour
  };
  const int all = 700 * 480;
  // With f = 3e-308 the centre pixel's ray is f times the viewing direction,
  // which underflows to the zero vector: 0/0.
  const Case cases[] = {{"NaN altitude", nan, 0.0, 50.0, all},
                        {"infinite azimuth", kPi / 2, inf, 50.0, all},
                        {"NaN focal length", kPi / 2, 0.0, nan, all},
                        {"tiny focal length", kPi / 2, 0.0, 3e-308, 1}};
  for (const Case& c : cases) {
    CamData cam = camera(c.altitude, c.azimuth);
    cam.f = c.f;
    const cv::Mat image = drawn(cam, data, set);
    const int black = all - pixelsNotOf(image, cv::Vec3b(0, 0, 0));
    EXPECT_EQ(black, c.black) << c.name;
    EXPECT_EQ(pixelsNotOf(image, kColour05), black) << c.name;
  }
}

TEST(SoundImage, RowsTheGridDoesNotHoldReadAsZero) {
  SoundData data;
  const int set = addSet(&data, 1, 2, 0.75f);
  data.grids[set].resize(1);  // only the upper row was read
  // Straight up sees the upper row, straight down the missing lower one.
  EXPECT_EQ(drawn(camera(kPi), data, set).at<cv::Vec3b>(240, 350), kColour075);
  EXPECT_EQ(drawn(camera(0.0), data, set).at<cv::Vec3b>(240, 350), kColour0);
  data.grids[set].clear();
  EXPECT_EQ(pixelsNotOf(drawn(camera(), data, set), kColour0), 0);
}
