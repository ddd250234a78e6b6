#include "panorama/BicubicResize.h"

#include <opencv2/imgproc.hpp>

bool resizedTo(const cv::Mat& image, cv::Size size, cv::Mat* out) {
  cv::Mat resized;
  try {
    if (image.size() == size) {
      resized = image;
    } else {
      cv::resize(image, resized, size, 0, 0, cv::INTER_CUBIC);
    }
  } catch (...) {
    return false;
  }
  *out = resized;
  return true;
}
