#pragma once

#include <string>

#include <opencv2/core.hpp>

class SoundData;

// The colour scale and the peak marker that the controller draws into the
// displayed image, sized with the image: a scale k = min(width / 700,
// height / 480), at least kMinLegendScale, sets every length (text, strip,
// spacing), so that the legend looks the same at 700 x 480 and at
// 3840 x 2160.

constexpr double kMinLegendScale = 0.5;
// The values the legend labels: 0, 0.25, 0.5, 0.75 and 1.
constexpr int kLegendTicks = 5;

// Where the legend goes in an image of width x height pixels: a dark panel
// in the bottom-right corner holding the set's name, the colour strip and
// the tick labels below it. The panel widens (to the left, up to half the
// image) for a long name; a longer one is shortened with "...". Strip column
// strip.x + c shows the value c / (strip.width - 1), so that the ticks
// (strip.width - 1 is a multiple of 4) fall on whole columns: ticks[t] shows
// exactly t / 4.
struct LegendLayout {
  bool fits = false;  // false: the image is too small for a legible legend
  double scale = 1.0;
  cv::Rect panel;
  cv::Rect strip;
  int ticks[kLegendTicks] = {};
  int tickLength = 0;     // pixels below the strip
  int titleBaseline = 0;  // row of the name's baseline
  int labelBaseline = 0;  // row of the tick labels' baseline
  int padding = 0;
  double fontScale = 0.0;
  int thickness = 1;
  std::string title;  // the name as drawn: ASCII, shortened to the panel
};

// The layout for an image of width x height and the set named `title` (any
// text; written in ASCII by asciiTransliteration). fits is false for sizes
// of 0 or less, or when the panel at kMinLegendScale does not fit inside.
LegendLayout legendLayout(int width, int height, const std::string& title);

// Draws the legend of the set named `title` into `image` (8-bit, 3 channels,
// blue-green-red) with the colour map's tables of `colours`, as
// legendLayout places it. Nothing is drawn when the legend does not fit or
// the image or the tables are not as described. Everything outside the panel
// stays as it was.
void drawSoundLegend(cv::Mat& image, const std::string& title, const SoundData& colours);

// Draws the peak marker, a white ring with a dark outline, centred on the
// image position (column, row) (pixels, may be fractional; parts outside the
// image are clipped). Nothing for an empty image or non-finite positions.
void drawPeakMarker(cv::Mat& image, double column, double row);
