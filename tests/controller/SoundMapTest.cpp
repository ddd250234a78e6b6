// Reading the sound map through the controller: the value under a pixel is
// the cell the sound image paints there, the threshold hides cells below it
// and nothing else, "Zum Maximum" centres the loudest cell, and the marker
// and the legend are drawn into the display image.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "ControllerTestSupport.h"
#include "controller/PointerReading.h"
#include "sound/ColorMap.h"
#include "sound/SoundData.h"
#include "sound/SoundLegend.h"
#include "sound/SoundPeak.h"

using namespace controllertest;

namespace {

constexpr double kDegree = M_PI / 180.0;

// A sound directory with one set "name" of cols x rows cells holding
// value(row, col), written with four decimals.
std::string writeGrid(const std::filesystem::path& directory, const std::string& name, int cols,
                      int rows, const std::function<double(int, int)>& value) {
  std::filesystem::create_directories(directory);
  std::string text = std::to_string(cols) + "X" + std::to_string(rows) + "\n" + name + "\n";
  char number[16];
  for (int row = 0; row < rows; ++row) {
    for (int col = 0; col < cols; ++col) {
      std::snprintf(number, sizeof number, "%.4f", value(row, col));
      text += (col ? "," : "");
      text += number;
    }
    text += "\n";
  }
  writeFile(directory / "set.csv", text);
  return directory.string();
}

cv::Vec3b colourOf(float value) {
  static const SoundData colours;
  const int e = colorEntry(value);
  return {colours.blue[e], colours.green[e], colours.red[e]};
}

// Every cell its own value: (row * cols + col) / (cols * rows).
double numbered(int row, int col) { return (row * 36 + col) / 648.0; }

class SoundMap : public ControllerFixture<> {
 protected:
  // Loads `directory` and shows its set at `percent` per cent.
  void showSound(const std::string& directory, int percent = 100) {
    ASSERT_EQ(controller->openSoundData(directory.c_str()), 0);
    controller->setTransValue(percent);
  }
  // A set with one loud cell (row 50, col 200 of a whole-degree grid).
  std::string writePeakGrid() {
    return writeGrid(dir.path() / "peak", "Pegel", 360, 180,
                     [](int row, int col) { return row == 50 && col == 200 ? 0.9 : 0.1; });
  }
};

}  // namespace

TEST_F(SoundMap, ValueUnderAPixelIsTheCellTheSoundImagePaintsThere) {
  showSound(writeGrid(dir.path() / "s", "Nummern", 36, 18, numbered));
  struct Camera {
    double azimuth;
    double altitude;
    double f;
  };
  const Camera cameras[] = {{0.0, M_PI / 2, 50.0},
                            {1.3, 2.2, 20.0},
                            {-4.0, 0.7, 35.0},
                            {7.5, 1.9, 12.0}};
  for (const Camera& c : cameras) {
    controller->setCameraData(c.azimuth, c.altitude, c.f);
    // Sound alone at full strength: the display is the sound image.
    const cv::Mat shown = controller->displayImage();
    ASSERT_EQ(shown.cols, 160);
    for (int y = 0; y < shown.rows; y += 7) {
      for (int x = 0; x < shown.cols; x += 5) {
        const PointerReading reading = controller->readPointer(x, y);
        ASSERT_TRUE(reading.inView && reading.hasValue);
        EXPECT_NEAR(reading.value, numbered(reading.row, reading.col), 5e-5);
        ASSERT_EQ(shown.at<cv::Vec3b>(y, x), colourOf(reading.value))
            << "camera " << c.azimuth << " pixel " << x << "," << y;
      }
    }
  }
}

TEST_F(SoundMap, PointerLineNamesDirectionAndValueInGerman) {
  // Without sound data: the direction alone.
  EXPECT_EQ(pointerText(controller->readPointer(80, 60)), "Azimut 0.00°, Höhe 90.00°");
  showSound(writeGrid(dir.path() / "s", "Nummern", 36, 18, numbered));
  // The centre looks at the horizon, azimuth 0: row 9, column 0.
  EXPECT_EQ(pointerText(controller->readPointer(80, 60)), "Azimut 0.00°, Höhe 90.00°, Wert 0.5000");
  // The azimuth continues the camera line's, unwrapped; left of the centre
  // it is larger, above it the altitude is.
  controller->setCameraData(370 * kDegree, 100 * kDegree, kStartF);
  const PointerReading centre = controller->readPointer(80, 60);
  EXPECT_NEAR(centre.azimuth, 370.0, 1e-9);
  EXPECT_NEAR(centre.altitude, 100.0, 1e-9);
  EXPECT_GT(controller->readPointer(10, 60).azimuth, 370.0);
  EXPECT_LT(controller->readPointer(150, 60).azimuth, 370.0);
  EXPECT_GT(controller->readPointer(80, 5).altitude, 100.0);
  // Outside the view: nothing.
  for (const auto& [x, y] : {std::pair{-1, 10}, std::pair{160, 10}, std::pair{5, 120}}) {
    EXPECT_FALSE(controller->readPointer(x, y).inView);
    EXPECT_EQ(pointerText(controller->readPointer(x, y)), "");
  }
}

TEST_F(SoundMap, ReadingThePointerStartsNothingAndTakesMicroseconds) {
  ASSERT_NO_FATAL_FAILURE(openSample());
  showSound(writeGrid(dir.path() / "s", "Nummern", 36, 18, numbered), 50);
  ASSERT_TRUE(waitUntilSettled());
  const int draws = window.drawCount();
  const std::size_t statuses = window.statusTexts().size();
  const std::string log = logText();
  constexpr int kReadings = 20000;
  double sum = 0.0;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kReadings; ++i) {
    sum += controller->readPointer(i % 160, (i / 160) % 120).value;
  }
  const double each = std::chrono::duration<double, std::milli>(
                          std::chrono::steady_clock::now() - start).count() / kReadings;
  EXPECT_GT(sum, 0.0);
  EXPECT_LT(each, 0.1) << "ms per reading";
  EXPECT_EQ(window.drawCount(), draws);
  EXPECT_EQ(window.statusTexts().size(), statuses);
  EXPECT_EQ(logText(), log);
}

TEST_F(SoundMap, ThresholdZeroLeavesEveryPixelAsItWas) {
  ASSERT_NO_FATAL_FAILURE(openSample());
  showSound(writeGrid(dir.path() / "s", "Nummern", 36, 18, numbered), 50);
  const cv::Mat before = controller->displayImage();
  controller->setThreshold(0);
  EXPECT_TRUE(sameImage(controller->displayImage(), before));
  controller->setThreshold(40);
  EXPECT_FALSE(sameImage(controller->displayImage(), before));
  controller->setThreshold(0);
  EXPECT_TRUE(sameImage(controller->displayImage(), before));
  EXPECT_EQ(controller->soundThreshold(), 0.0f);
}

TEST_F(SoundMap, ThresholdHidesTheCellsBelowItAndKeepsTheOthers) {
  ASSERT_NO_FATAL_FAILURE(openSample());
  // Values grow with the azimuth: 0 ... 35/36.
  showSound(writeGrid(dir.path() / "s", "Verlauf", 36, 18,
                      [](int, int col) { return col / 36.0; }));
  controller->setCameraData(170 * kDegree, M_PI / 2, 20.0);  // columns around 0.5
  controller->setTransValue(0);
  const cv::Mat panorama = controller->displayImage();
  controller->setTransValue(50);
  const cv::Mat blended = controller->displayImage();
  for (const int percent : {50, 47}) {
    controller->setThreshold(percent);
    const cv::Mat shown = controller->displayImage();
    int hidden = 0;
    int drawn = 0;
    for (int y = 0; y < shown.rows; ++y) {
      for (int x = 0; x < shown.cols; ++x) {
        const bool below = controller->readPointer(x, y).value < percent / 100.0f;
        const cv::Mat& expected = below ? panorama : blended;
        ASSERT_EQ(shown.at<cv::Vec3b>(y, x), expected.at<cv::Vec3b>(y, x)) << x << "," << y;
        (below ? hidden : drawn) += 1;
      }
    }
    EXPECT_GT(hidden, 1000) << percent;
    EXPECT_GT(drawn, 1000) << percent;
  }
  // Changing the transparency keeps the threshold.
  controller->setTransValue(80);
  EXPECT_EQ(controller->displayImage().at<cv::Vec3b>(60, 159), panorama.at<cv::Vec3b>(60, 159));
}

TEST_F(SoundMap, ThresholdOnSoundAloneLeavesBlackBelowIt) {
  showSound(writeGrid(dir.path() / "s", "Verlauf", 36, 18, [](int, int col) { return col / 36.0; }));
  controller->setCameraData(170 * kDegree, M_PI / 2, 20.0);
  const cv::Mat full = controller->displayImage();
  controller->setThresholdValue(0.5);
  const cv::Mat shown = controller->displayImage();
  for (int x = 0; x < shown.cols; ++x) {
    const bool below = controller->readPointer(x, 60).value < 0.5f;
    EXPECT_EQ(shown.at<cv::Vec3b>(60, x), below ? cv::Vec3b(0, 0, 0) : full.at<cv::Vec3b>(60, x))
        << x;
  }
  // Out of range is clamped, NaN ignored.
  controller->setThresholdValue(7.0);
  EXPECT_EQ(controller->soundThreshold(), 1.0f);
  controller->setThresholdValue(std::nan(""));
  EXPECT_EQ(controller->soundThreshold(), 1.0f);
}

TEST_F(SoundMap, ZumMaximumCentresTheLoudestCellTheShortWayRound) {
  ASSERT_NO_FATAL_FAILURE(openSample());
  showSound(writePeakGrid(), 50);
  SoundPeak peak;
  ASSERT_TRUE(controller->soundPeak(&peak));
  EXPECT_EQ(peak.row, 50);
  EXPECT_EQ(peak.col, 200);
  EXPECT_EQ(controller->soundSetName(), "Pegel");
  settleAfter(20ms);
  struct Case {
    double azimuth;  // degrees before
    double f;
    double expected;  // azimuth after: 200.5 degrees plus whole turns
  };
  const Case cases[] = {{0.0, 50.0, -159.5}, {730.0, 30.0, 560.5}, {-500.0, 80.0, -519.5}};
  for (const Case& c : cases) {
    controller->setCameraData(c.azimuth * kDegree, 1.0, c.f);
    ASSERT_TRUE(waitUntilSettled());
    const int refined = countEntries(kTimerRefined);
    controller->turnToPeak();
    const CamData camera = controller->camera();
    EXPECT_NEAR(camera.azimuth / kDegree, c.expected, 1e-9);
    EXPECT_NEAR(camera.altitude / kDegree, 180.0 - 50.5, 1e-9);
    EXPECT_EQ(camera.f, c.f);
    // The quick view at once, the refined one after the settle delay.
    const PointerReading centre = controller->readPointer(80, 60);
    EXPECT_EQ(centre.row, 50);
    EXPECT_EQ(centre.col, 200);
    EXPECT_NEAR(centre.value, 0.9f, 1e-6);
    EXPECT_TRUE(waitForEntries(kTimerRefined, refined + 1));
  }
  EXPECT_EQ(countEntries("PanController::turnToPeak, LOCKED"), 0);
}

TEST_F(SoundMap, ZumMaximumIsRefusedWhileLockedAndWithoutSound) {
  const CamData start = controller->camera();
  controller->turnToPeak();
  EXPECT_EQ(countEntries("PanController::turnToPeak, no sound data"), 1);
  showSound(writePeakGrid());
  controller->canvasSizeChanged(160, 120);  // not settled yet: locked
  ASSERT_TRUE(controller->locked());
  controller->turnToPeak();
  EXPECT_EQ(countEntries("PanController::turnToPeak, LOCKED"), 1);
  EXPECT_EQ(controller->camera().azimuth, start.azimuth);
  EXPECT_EQ(controller->camera().altitude, start.altitude);
}

TEST_F(SoundMap, MarkerAndLegendAreDrawnOnlyWhileTheSoundLayerIsVisible) {
  ASSERT_NO_FATAL_FAILURE(openSample());
  showSound(writePeakGrid(), 50);
  controller->turnToPeak();
  const cv::Mat plain = controller->displayImage();
  controller->setPeakMarkerVisible(true);
  controller->setLegendVisible(true);
  const cv::Mat marked = controller->displayImage();

  // The ring around the centre (radius 6 at the smallest scale), white on
  // its middle line.
  EXPECT_EQ(marked.at<cv::Vec3b>(60, 86), cv::Vec3b(255, 255, 255));
  EXPECT_EQ(marked.at<cv::Vec3b>(60, 80), plain.at<cv::Vec3b>(60, 80));
  // The legend's strip shows the colour map at its ticks.
  const LegendLayout layout = legendLayout(160, 120, "Pegel");
  ASSERT_TRUE(layout.fits);
  EXPECT_EQ(marked.at<cv::Vec3b>(layout.strip.y + 1, layout.ticks[2]), colourOf(0.5f));
  // Nothing else changed.
  const cv::Rect ring(80 - 12, 60 - 12, 25, 25);
  int changedElsewhere = 0;
  for (int y = 0; y < 120; ++y) {
    for (int x = 0; x < 160; ++x) {
      if (!layout.panel.contains({x, y}) && !ring.contains({x, y})) {
        changedElsewhere += marked.at<cv::Vec3b>(y, x) != plain.at<cv::Vec3b>(y, x);
      }
    }
  }
  EXPECT_EQ(changedElsewhere, 0);

  // Hidden sound layer: neither marker nor legend.
  controller->setTransValue(0);
  const cv::Mat hidden = controller->displayImage();
  controller->setPeakMarkerVisible(false);
  controller->setLegendVisible(false);
  EXPECT_TRUE(sameImage(controller->displayImage(), hidden));
  controller->setTransValue(50);
  EXPECT_TRUE(sameImage(controller->displayImage(), plain));
}
