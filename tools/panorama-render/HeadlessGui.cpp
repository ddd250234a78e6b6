#include "HeadlessGui.h"

void HeadlessGui::drawImage(const cv::Mat& image) {
  cv::Mat copy = image.clone();
  std::lock_guard<std::mutex> lock(mutex_);
  last_ = copy;
  ++draws_;
}

void HeadlessGui::showErrorMessage(const char* text) {
  std::lock_guard<std::mutex> lock(mutex_);
  error_ = text;
}

cv::Mat HeadlessGui::lastImage() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return last_.clone();
}

int HeadlessGui::drawCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return draws_;
}

std::string HeadlessGui::lastError() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}
