#include "support/RecordingGui.h"

#include <chrono>

void RecordingGui::drawImage(const cv::Mat& image) {
  std::lock_guard<std::mutex> lock(mutex_);
  last_ = image.clone();
  ++draws_;
  drawn_.notify_all();
}

void RecordingGui::setInfoText(const char* text) {
  std::lock_guard<std::mutex> lock(mutex_);
  info_ = text;
}

void RecordingGui::setStatusText(const char* text) {
  std::lock_guard<std::mutex> lock(mutex_);
  status_.emplace_back(text);
}

void RecordingGui::showErrorMessage(const char* text) {
  std::lock_guard<std::mutex> lock(mutex_);
  errors_.emplace_back(text);
}

void RecordingGui::setRepMaximum(int maximum) {
  std::lock_guard<std::mutex> lock(mutex_);
  repMaximum_ = maximum;
}

void RecordingGui::setSoundControlsEnabled(bool enabled) {
  std::lock_guard<std::mutex> lock(mutex_);
  soundControls_.push_back(enabled);
}

void RecordingGui::panoramaOpenEnded(const char* path, bool opened) {
  std::lock_guard<std::mutex> lock(mutex_);
  openEnds_.push_back(std::string(path) + (opened ? " opened" : " refused"));
}

void RecordingGui::showOpenProgress(int done, int total) {
  std::lock_guard<std::mutex> lock(mutex_);
  progress_.push_back(std::to_string(done) + "/" + std::to_string(total));
}

void RecordingGui::openProgressEnded() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++progressEnds_;
}

std::vector<std::string> RecordingGui::openProgress() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return progress_;
}

int RecordingGui::openProgressEnds() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return progressEnds_;
}

std::vector<std::string> RecordingGui::openEnds() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return openEnds_;
}

int RecordingGui::drawCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return draws_;
}

cv::Mat RecordingGui::lastImage() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return last_.clone();
}

std::vector<std::string> RecordingGui::errors() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return errors_;
}

std::vector<std::string> RecordingGui::statusTexts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return status_;
}

std::string RecordingGui::infoText() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return info_;
}

int RecordingGui::repMaximum() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return repMaximum_;
}

std::vector<bool> RecordingGui::soundControls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return soundControls_;
}

bool RecordingGui::waitForDraws(int count, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return drawn_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                         [&] { return draws_ >= count; });
}
