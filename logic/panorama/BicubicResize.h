#pragma once

#include <opencv2/core.hpp>

// *out = `image` resized to `size` with the bicubic filter (the image itself
// when it has that size); false, with *out left alone, when the resize threw.
// Every scaled image of a photograph is made by this one resize of its decode.
bool resizedTo(const cv::Mat& image, cv::Size size, cv::Mat* out);
