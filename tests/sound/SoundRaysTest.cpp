// The one mapping from view pixels to rays and from rays to grid cells, its
// inverse for the peak marker, and the values the sound image hands out
// beside its colours.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include <opencv2/core.hpp>

#include "base/Constants.h"
#include "camera/CamData.h"
#include "panorama/Picture.h"
#include "sound/ColorMap.h"
#include "sound/SoundData.h"
#include "sound/SoundImage.h"
#include "sound/SoundRays.h"

namespace {

struct View {
  const char* name;
  double altitude;
  double azimuth;
  double f;
};

// Cameras with the start canvas (700 x 480, 35 x 24 mm).
const View kViews[] = {
    {"start", kPi / 2, 0.0, 50.0},        {"looking up", 2.6, 1.0, 20.0},
    {"looking down", 0.4, -2.0, 80.0},    {"turned left", kPi / 2, 4.0, 12.0},
    {"beyond a full turn", 1.2, 9.0, 35.0},
};

ViewRays raysOf(const View& v) { return viewRays(v.altitude, v.azimuth, v.f, 700, 480, 0.05); }

CamData cameraOf(const View& v) {
  CamData cam;
  cam.altitude = v.altitude;
  cam.azimuth = v.azimuth;
  cam.f = v.f;
  return cam;
}

// A grid whose every cell holds its own value.
int addNumberedSet(SoundData* data, int cols, int rows) {
  std::vector<float> grid(static_cast<std::size_t>(cols) * rows);
  for (std::size_t i = 0; i < grid.size(); ++i) {
    grid[i] = static_cast<float>(i + 1) / static_cast<float>(grid.size() + 1);
  }
  data->grids.push_back(grid);
  data->names.emplace_back("numbered");
  data->sizes.emplace_back(cols, rows);
  data->count = static_cast<int>(data->grids.size());
  data->loaded = true;
  return data->count - 1;
}

}  // namespace

TEST(SoundRays, TheCentrePixelLooksAlongTheViewingDirection) {
  for (const View& v : kViews) {
    const Vec3 ray = pixelRay(raysOf(v), 350, 240);
    double altitude = 0.0;
    double azimuth = 0.0;
    rayAngles(ray, &altitude, &azimuth);
    EXPECT_NEAR(altitude, v.altitude, 1e-12) << v.name;
    EXPECT_NEAR(std::remainder(azimuth - v.azimuth, 2 * kPi), 0.0, 1e-12) << v.name;
  }
}

TEST(SoundRays, DirectionPixelFindsThePixelWhoseRayItIs) {
  // One pixel inside the edges: the round trip may land a hair outside.
  const int pixels[][2] = {{1, 1}, {698, 1}, {1, 478}, {698, 478}, {350, 240}, {123, 321}};
  for (const View& v : kViews) {
    const ViewRays rays = raysOf(v);
    for (const auto& p : pixels) {
      double altitude = 0.0;
      double azimuth = 0.0;
      rayAngles(pixelRay(rays, p[0], p[1]), &altitude, &azimuth);
      double column = -1.0;
      double row = -1.0;
      ASSERT_TRUE(directionPixel(rays, altitude, azimuth, &column, &row)) << v.name;
      EXPECT_NEAR(column, p[0], 1e-6) << v.name;
      EXPECT_NEAR(row, p[1], 1e-6) << v.name;
    }
  }
}

TEST(SoundRays, DirectionsBehindOrBesideTheViewAreNotInIt) {
  const ViewRays rays = raysOf(kViews[0]);  // horizon, azimuth 0, 35 x 24 mm at f = 50
  double column = 0.0;
  double row = 0.0;
  EXPECT_FALSE(directionPixel(rays, kPi / 2, kPi, &column, &row));        // behind
  EXPECT_FALSE(directionPixel(rays, kPi / 2, 1.0, &column, &row));        // far left
  EXPECT_FALSE(directionPixel(rays, kPi / 2 + 0.4, 0.0, &column, &row));  // above
  EXPECT_FALSE(directionPixel(rays, std::nan(""), 0.0, &column, &row));
  EXPECT_TRUE(directionPixel(rays, kPi / 2 + 0.2, 0.3, &column, &row));   // up left
  EXPECT_LT(column, 350.0);
  EXPECT_LT(row, 240.0);
}

TEST(SoundRays, CellCentresLieInTheirCells) {
  struct Grid {
    int cols;
    int rows;
  };
  for (const Grid& g : {Grid{360, 180}, Grid{8, 4}, Grid{1, 1}, Grid{7, 3}}) {
    for (int row = 0; row < g.rows; row += std::max(1, g.rows / 5)) {
      for (int col = 0; col < g.cols; col += std::max(1, g.cols / 7)) {
        double altitude = 0.0;
        double azimuth = 0.0;
        cellCentre(row, col, g.rows, g.cols, &altitude, &azimuth);
        int r = -1;
        int c = -1;
        ASSERT_TRUE(angleCell(altitude, azimuth, g.rows, g.cols, &r, &c));
        EXPECT_EQ(r, row) << g.cols << "x" << g.rows;
        EXPECT_EQ(c, col) << g.cols << "x" << g.rows;
      }
    }
  }
  double altitude = 0.0;
  double azimuth = 0.0;
  cellCentre(0, 0, 180, 360, &altitude, &azimuth);  // the first cell: just below straight up
  EXPECT_NEAR(altitude * 180 / kPi, 179.5, 1e-9);
  EXPECT_NEAR(azimuth * 180 / kPi, 0.5, 1e-9);
}

TEST(SoundRays, EdgesOfTheSphereStayOnTheGrid) {
  struct Case {
    double altitude;
    double azimuth;
    int row;
    int col;
  };
  const Case cases[] = {{0.0, 0.0, 3, 0},         // straight down: the last row
                        {kPi, 0.0, 0, 0},         // straight up: the first row
                        {kPi / 2, 2 * kPi, 2, 7}, // an azimuth of 2 pi: the last column
                        {kPi / 2, 0.0, 2, 0}};
  for (const Case& c : cases) {
    int row = -1;
    int col = -1;
    ASSERT_TRUE(angleCell(c.altitude, c.azimuth, 4, 8, &row, &col));
    EXPECT_EQ(row, c.row);
    EXPECT_EQ(col, c.col);
  }
  int row = 0;
  int col = 0;
  EXPECT_FALSE(rayCell({0.0, 0.0, 0.0}, 4, 8, &row, &col));  // no direction
  EXPECT_FALSE(angleCell(std::nan(""), 1.0, 4, 8, &row, &col));
}

TEST(SoundRays, SoundImageValuesAreTheCellsItsColoursShow) {
  SoundData data;
  const int set = addNumberedSet(&data, 36, 18);
  for (const View& v : kViews) {
    auto plain = Picture::forCamera(cameraOf(v));
    ASSERT_EQ(computeSoundImage(plain.get(), data, set), 0);
    auto withValues = Picture::forCamera(cameraOf(v));
    cv::Mat values;
    ASSERT_EQ(computeSoundImage(withValues.get(), data, set, &values), 0);
    // Handing out the values changes no pixel.
    EXPECT_EQ(cv::norm(plain->image, withValues->image, cv::NORM_INF), 0.0) << v.name;
    ASSERT_EQ(values.type(), CV_32F);
    ASSERT_EQ(values.size(), withValues->image.size());

    const ViewRays rays = viewRays(v.altitude, v.azimuth, v.f, 700, 480, 35.0 / 700);
    for (int i = 0; i < 480; i += 17) {
      for (int j = 0; j < 700; j += 13) {
        int row = 0;
        int col = 0;
        ASSERT_TRUE(rayCell(pixelRay(rays, j, i), 18, 36, &row, &col));
        const float value = data.cell(set, row, col);
        ASSERT_EQ(values.at<float>(i, j), value) << v.name << " " << j << "," << i;
        const int e = colorEntry(value);
        ASSERT_EQ(withValues->image.at<cv::Vec3b>(i, j),
                  cv::Vec3b(data.blue[e], data.green[e], data.red[e]))
            << v.name << " " << j << "," << i;
      }
    }
  }
}

TEST(SoundRays, PixelsWithoutADirectionHaveNoValue) {
  SoundData data;
  const int set = addNumberedSet(&data, 4, 2);
  CamData cam;
  cam.altitude = std::nan("");
  auto view = Picture::forCamera(cam);
  cv::Mat values;
  ASSERT_EQ(computeSoundImage(view.get(), data, set, &values), 0);
  EXPECT_TRUE(std::isnan(values.at<float>(0, 0)));
  EXPECT_TRUE(std::isnan(values.at<float>(479, 699)));
}
