#pragma once

#include <atomic>

#include <opencv2/core.hpp>

// The controller's display images (8-bit, 3 channels, canvas-sized; empty
// until first created) and the transparency of the sound layer, 0 to 1, where
// 0 means that no sound layer is shown.
struct DspParams {
  cv::Mat currentPic;         // the last assembled panorama view
  cv::Mat currentSoundLayer;  // the last sound image for the view
  cv::Mat displayImage;       // the composed image handed to the gui
  std::atomic<float> soundAlpha{0.0f};
};
