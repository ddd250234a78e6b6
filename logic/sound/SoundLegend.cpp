#include "sound/SoundLegend.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "base/AsciiText.h"
#include "sound/ColorMap.h"
#include "sound/SoundData.h"

namespace {

constexpr int kFont = cv::FONT_HERSHEY_SIMPLEX;
const char* const kTickLabels[kLegendTicks] = {"0", "0.25", "0.5", "0.75", "1"};
const cv::Scalar kPanelColour(32, 32, 32);
const cv::Scalar kFrameColour(160, 160, 160);
const cv::Scalar kTextColour(255, 255, 255);

int scaled(double length, double scale, int minimum = 1) {
  return std::max(minimum, static_cast<int>(std::lround(length * scale)));
}

int textWidth(const std::string& text, const LegendLayout& l) {
  int baseline = 0;
  return cv::getTextSize(text, kFont, l.fontScale, l.thickness, &baseline).width;
}

// `text` cut to at most `maxWidth` pixels, ending in "..." when cut.
std::string fitted(const std::string& text, int maxWidth, const LegendLayout& l) {
  // No name wider than the widest image needs more than a few hundred
  // characters; the cut below measures once per character.
  constexpr std::size_t kLongest = 300;
  if (text.size() <= kLongest && textWidth(text, l) <= maxWidth) return text;
  std::string cut = text.substr(0, kLongest);
  while (!cut.empty() && textWidth(cut + "...", l) > maxWidth) cut.pop_back();
  while (!cut.empty() && cut.back() == ' ') cut.pop_back();
  return cut + "...";
}

// The layout at a given scale; `fits` says whether it lies inside the image.
LegendLayout layoutAt(int width, int height, double scale, const std::string& title) {
  LegendLayout l;
  l.scale = scale;
  l.fontScale = 0.45 * scale;
  l.thickness = scaled(0.9, scale);
  l.padding = scaled(6.0, scale, 2);
  const int margin = scaled(8.0, scale, 2);
  const int gap = scaled(4.0, scale, 1);
  const int stripHeight = scaled(12.0, scale, 4);
  l.tickLength = scaled(4.0, scale, 2);
  const int stripWidth = 4 * scaled(40.0, scale, 10) + 1;

  int baseline = 0;
  const cv::Size text = cv::getTextSize("Ag0.75", kFont, l.fontScale, l.thickness, &baseline);
  int endLabels = 0;
  for (const char* label : {kTickLabels[0], kTickLabels[kLegendTicks - 1]}) {
    endLabels = std::max(endLabels, cv::getTextSize(label, kFont, l.fontScale, l.thickness,
                                                    &baseline).width);
  }
  const int side = l.padding + (endLabels + 1) / 2;
  // Wide enough for the strip, and for the name up to half the image.
  const int stripPanel = stripWidth + 2 * side;
  const int widest = std::max(stripPanel, width / 2 - margin);
  l.title = fitted(title, widest - 2 * l.padding, l);
  const int panelWidth = std::max(stripPanel, textWidth(l.title, l) + 2 * l.padding);
  const int panelHeight = l.padding + text.height + baseline + gap + stripHeight + l.tickLength +
                          gap + text.height + l.padding;
  l.panel = cv::Rect(width - margin - panelWidth, height - margin - panelHeight, panelWidth,
                     panelHeight);
  l.titleBaseline = l.panel.y + l.padding + text.height;
  l.strip = cv::Rect(l.panel.x + panelWidth - side - stripWidth, l.titleBaseline + baseline + gap,
                     stripWidth, stripHeight);
  for (int t = 0; t < kLegendTicks; ++t) {
    l.ticks[t] = l.strip.x + t * (stripWidth - 1) / (kLegendTicks - 1);
  }
  l.labelBaseline = l.strip.y + stripHeight + l.tickLength + gap + text.height;
  l.fits = l.panel.x >= 0 && l.panel.y >= 0;
  return l;
}

}  // namespace

LegendLayout legendLayout(int width, int height, const std::string& title) {
  if (width <= 0 || height <= 0) return LegendLayout{};
  const double scale = std::max(kMinLegendScale, std::min(width / 700.0, height / 480.0));
  return layoutAt(width, height, scale, asciiTransliteration(title));
}

void drawSoundLegend(cv::Mat& image, const std::string& title, const SoundData& colours) {
  if (image.empty() || image.type() != CV_8UC3 || colours.blue.size() < kColorTableSize ||
      colours.green.size() < kColorTableSize || colours.red.size() < kColorTableSize) {
    return;
  }
  const LegendLayout l = legendLayout(image.cols, image.rows, title);
  if (!l.fits) return;

  cv::rectangle(image, l.panel, kPanelColour, cv::FILLED);
  cv::rectangle(image, l.panel, kFrameColour, 1);

  // The strip: each column the colour map's own entry for its value.
  const int last = l.strip.width - 1;
  for (int c = 0; c <= last; ++c) {
    const int e = colorEntry(static_cast<double>(c) / last);
    const cv::Vec3b colour(colours.blue[e], colours.green[e], colours.red[e]);
    for (int y = l.strip.y; y < l.strip.y + l.strip.height; ++y) {
      image.at<cv::Vec3b>(y, l.strip.x + c) = colour;
    }
  }

  const int below = l.strip.y + l.strip.height;
  int baseline = 0;
  for (int t = 0; t < kLegendTicks; ++t) {
    // One pixel column per tick (thicker at larger scales), below the strip
    // only, so that the strip keeps the map's colours at the tick values.
    const int half = (l.thickness - 1) / 2;
    cv::rectangle(image, cv::Point(l.ticks[t] - half, below),
                  cv::Point(l.ticks[t] - half + l.thickness - 1, below + l.tickLength - 1),
                  kTextColour, cv::FILLED);
    const cv::Size size = cv::getTextSize(kTickLabels[t], kFont, l.fontScale, l.thickness, &baseline);
    cv::putText(image, kTickLabels[t], cv::Point(l.ticks[t] - size.width / 2, l.labelBaseline),
                kFont, l.fontScale, kTextColour, l.thickness, cv::LINE_AA);
  }

  cv::putText(image, l.title, cv::Point(l.panel.x + l.padding, l.titleBaseline), kFont, l.fontScale,
              kTextColour, l.thickness, cv::LINE_AA);
}

void drawPeakMarker(cv::Mat& image, double column, double row) {
  if (image.empty() || image.type() != CV_8UC3 || !std::isfinite(column) || !std::isfinite(row) ||
      std::fabs(column) > 1e6 || std::fabs(row) > 1e6) {
    return;
  }
  const double scale =
      std::max(kMinLegendScale, std::min(image.cols / 700.0, image.rows / 480.0));
  const int radius = scaled(12.0, scale, 6);
  const int ring = scaled(2.0, scale, 2);
  const int outline = scaled(1.0, scale, 1);
  // Sub-pixel centre: 4 fractional bits.
  constexpr int kShift = 4;
  const cv::Point centre(static_cast<int>(std::lround(column * (1 << kShift))),
                         static_cast<int>(std::lround(row * (1 << kShift))));
  cv::circle(image, centre, radius << kShift, cv::Scalar(0, 0, 0), ring + 2 * outline, cv::LINE_AA,
             kShift);
  cv::circle(image, centre, radius << kShift, cv::Scalar(255, 255, 255), ring, cv::LINE_AA, kShift);
}
