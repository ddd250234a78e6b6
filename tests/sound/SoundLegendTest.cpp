// The colour scale and the peak marker drawn into the display image: the
// strip shows the colour map's own entries, ticks at 0, 0.25, 0.5, 0.75 and
// 1, everything outside the panel untouched, sizes that follow the image.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include <opencv2/core.hpp>

#include "sound/ColorMap.h"
#include "sound/SoundData.h"
#include "sound/SoundLegend.h"

namespace {

const cv::Vec3b kGround(90, 60, 30);

cv::Vec3b mapColour(const SoundData& colours, double value) {
  const int e = colorEntry(value);
  return {colours.blue[e], colours.green[e], colours.red[e]};
}

// Pixels that differ between the two images outside `rect`.
int changesOutside(const cv::Mat& before, const cv::Mat& after, const cv::Rect& rect) {
  int changed = 0;
  for (int y = 0; y < before.rows; ++y) {
    for (int x = 0; x < before.cols; ++x) {
      if (!rect.contains({x, y}) && before.at<cv::Vec3b>(y, x) != after.at<cv::Vec3b>(y, x)) {
        ++changed;
      }
    }
  }
  return changed;
}

}  // namespace

TEST(SoundLegend, StripShowsTheColourMapWithTicksAtItsQuarters) {
  const SoundData colours;
  const std::string title = "Pegel";
  for (const cv::Size size : {cv::Size(700, 480), cv::Size(3840, 2160), cv::Size(1280, 720),
                              cv::Size(333, 211)}) {
    cv::Mat image(size, CV_8UC3, cv::Scalar(kGround[0], kGround[1], kGround[2]));
    const cv::Mat before = image.clone();
    drawSoundLegend(image, title, colours);
    const LegendLayout layout = legendLayout(size.width, size.height, title);
    ASSERT_TRUE(layout.fits) << size;
    ASSERT_EQ((layout.strip.width - 1) % 4, 0);

    // The ticks show exactly 0, 0.25, 0.5, 0.75 and the map's last entry.
    const cv::Vec3b last(colours.blue[kColorTableSize - 1], colours.green[kColorTableSize - 1],
                         colours.red[kColorTableSize - 1]);
    const cv::Vec3b expected[kLegendTicks] = {mapColour(colours, 0.0), mapColour(colours, 0.25),
                                              mapColour(colours, 0.5), mapColour(colours, 0.75),
                                              last};
    for (int t = 0; t < kLegendTicks; ++t) {
      for (int y = layout.strip.y; y < layout.strip.br().y; ++y) {
        ASSERT_EQ(image.at<cv::Vec3b>(y, layout.ticks[t]), expected[t]) << size << " tick " << t;
      }
    }
    // Every column between them too.
    const int w = layout.strip.width - 1;
    for (int c = 0; c <= w; ++c) {
      ASSERT_EQ(image.at<cv::Vec3b>(layout.strip.y, layout.strip.x + c),
                mapColour(colours, static_cast<double>(c) / w))
          << size << " column " << c;
    }
    // The panel sits in the bottom-right corner; nothing else changed.
    EXPECT_GT(layout.panel.x, size.width / 2);
    EXPECT_GT(layout.panel.y, size.height / 2);
    EXPECT_EQ(changesOutside(before, image, layout.panel), 0) << size;
  }
}

TEST(SoundLegend, SizeFollowsTheImage) {
  const LegendLayout small = legendLayout(700, 480, "Pegel");
  const LegendLayout large = legendLayout(3840, 2160, "Pegel");
  // 3840 x 2160 is 4.5 times 480 rows high (its width allows more).
  EXPECT_NEAR(static_cast<double>(large.panel.height) / small.panel.height, 4.5, 0.5);
  EXPECT_NEAR(static_cast<double>(large.strip.width) / small.strip.width, 4.5, 0.1);
  EXPECT_GE(small.strip.height, 10);
  EXPECT_GT(large.thickness, small.thickness);
}

TEST(SoundLegend, NamesAreWrittenInAsciiAndShortenedToTheirPanel) {
  EXPECT_EQ(legendLayout(700, 480, "Höhe über Straße").title, "Hoehe ueber Strasse");
  const std::string longName(200, 'x');
  for (const cv::Size size : {cv::Size(700, 480), cv::Size(3840, 2160)}) {
    const LegendLayout layout = legendLayout(size.width, size.height, longName);
    ASSERT_GE(layout.title.size(), 4u);
    EXPECT_EQ(layout.title.substr(layout.title.size() - 3), "...");
    EXPECT_LE(layout.panel.width, size.width / 2);
    EXPECT_GE(layout.panel.x, 0);
  }
}

TEST(SoundLegend, ImagesTooSmallOrUnusableAreLeftAlone) {
  const SoundData colours;
  for (const cv::Size size : {cv::Size(1, 1), cv::Size(60, 40), cv::Size(700, 20)}) {
    cv::Mat image(size, CV_8UC3, cv::Scalar(1, 2, 3));
    const cv::Mat before = image.clone();
    drawSoundLegend(image, "Pegel", colours);
    EXPECT_EQ(cv::norm(image, before, cv::NORM_INF), 0.0) << size;
    EXPECT_FALSE(legendLayout(size.width, size.height, "Pegel").fits) << size;
  }
  cv::Mat grey(480, 700, CV_8UC1, cv::Scalar(7));
  drawSoundLegend(grey, "Pegel", colours);
  EXPECT_EQ(cv::countNonZero(grey != 7), 0);
  SoundData noTables;
  noTables.blue.clear();
  cv::Mat image(480, 700, CV_8UC3, cv::Scalar(1, 2, 3));
  drawSoundLegend(image, "Pegel", noTables);
  EXPECT_EQ(cv::countNonZero(image.reshape(1) != 1 & image.reshape(1) != 2 & image.reshape(1) != 3), 0);
  EXPECT_FALSE(legendLayout(0, 480, "Pegel").fits);
}

TEST(SoundLegend, MarkerIsAWhiteRingWithADarkOutline) {
  cv::Mat image(480, 700, CV_8UC3, cv::Scalar(kGround[0], kGround[1], kGround[2]));
  drawPeakMarker(image, 350.0, 240.0);
  EXPECT_EQ(image.at<cv::Vec3b>(240, 350), kGround);  // the spot itself stays visible
  // The ring (radius 12 at this size) is white on its middle line in all
  // four directions, with darker pixels just outside.
  for (const cv::Point d : {cv::Point(12, 0), cv::Point(-12, 0), cv::Point(0, 12), cv::Point(0, -12)}) {
    EXPECT_EQ(image.at<cv::Vec3b>(240 + d.y, 350 + d.x), cv::Vec3b(255, 255, 255)) << d;
    const cv::Point out(350 + d.x * 15 / 12, 240 + d.y * 15 / 12);
    const cv::Vec3b outline = image.at<cv::Vec3b>(out);
    EXPECT_LT(outline[0] + outline[1] + outline[2], kGround[0] + kGround[1] + kGround[2]) << d;
  }
  // Far from the ring nothing changed.
  EXPECT_EQ(image.at<cv::Vec3b>(240, 400), kGround);
}

TEST(SoundLegend, MarkerAtTheEdgeIsClippedAndNonsenseIgnored) {
  cv::Mat image(120, 160, CV_8UC3, cv::Scalar(0, 0, 0));
  drawPeakMarker(image, 0.0, 119.5);
  EXPECT_GT(cv::countNonZero(image.reshape(1)), 0);
  const cv::Mat before = image.clone();
  drawPeakMarker(image, std::nan(""), 10.0);
  drawPeakMarker(image, 10.0, HUGE_VAL);
  drawPeakMarker(image, 1e300, 10.0);
  EXPECT_EQ(cv::norm(image, before, cv::NORM_INF), 0.0);
  cv::Mat empty;
  drawPeakMarker(empty, 1.0, 1.0);
  EXPECT_TRUE(empty.empty());
}
