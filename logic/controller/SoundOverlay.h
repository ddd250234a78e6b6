#pragma once

#include <opencv2/core.hpp>

#include "camera/CamData.h"

class SoundData;
struct SoundMapOptions;

// What the sound map adds to the composed display image (8-bit, 3 channels)
// while a sound layer is visible: the threshold (cells below it are not
// drawn: the panorama shows through unchanged there, black without one),
// then the peak marker where the shown set's loudest direction lies inside
// the view, and the colour scale in the bottom-right corner on top.

// display = `drawn` where the pixel's cell value (`values`, CV_32F) is at
// least `threshold`, `hidden` elsewhere (black when `hidden` is empty); NaN,
// a pixel without a direction, counts as below. Runs of equal pixels are
// copied whole, so that a threshold change costs less than blending the
// layers again. Throws cv::Exception, with `display` untouched, when the
// images differ in size or type.
void selectByThreshold(cv::Mat& display, const cv::Mat& drawn, const cv::Mat& hidden,
                       const cv::Mat& values, float threshold);

// Draws the peak marker (with options.marker, where the shown set's loudest
// direction lies inside the view of `camera`) and the legend of set `layer`
// (with options.legend) into `display`. Nothing else is touched.
void drawSoundMarks(cv::Mat& display, const SoundMapOptions& options, const SoundData& sound,
                    int layer, const CamData& camera);
