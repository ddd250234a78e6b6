#include "HeadlessGui.h"

#include "base/ImageMemory.h"

void HeadlessGui::drawImage(const cv::Mat& image) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (last_.u != nullptr && last_.u->refcount == 1 && last_.size() == image.size() &&
      last_.type() == image.type()) {
    copyImagePixels(image, last_);  // nobody else holds the last image: its memory is reused
  } else {
    last_ = image.clone();
  }
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
