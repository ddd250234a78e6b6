#pragma once

#include <mutex>
#include <string>

#include <opencv2/core.hpp>

#include "controller/gui.h"

// A gui without a window: a canvas of a fixed size that keeps the last
// display image handed over and the last error text. Thread-safe, since the
// controller calls it from its worker threads too.
class HeadlessGui : public gui {
 public:
  HeadlessGui(int width, int height) : width_(width), height_(height) {}
  virtual ~HeadlessGui() = default;

  void drawImage(const cv::Mat& image) override;
  int getCanvasHeight() override { return height_; }
  int getCanvasWidth() override { return width_; }
  void setInfoText(const char*) override {}
  void setStatusText(const char*) override {}
  void showErrorMessage(const char* text) override;
  void setRepMaximum(int) override {}
  int getTransMaximum() override { return 100; }
  void setSoundControlsEnabled(bool) override {}
  // The tool opens synchronously (PanController::openPanorama waits for the
  // read and applies it): no progress to show, no end to answer.
  void showOpenProgress(int, int) override {}
  void openProgressEnded() override {}

  // A copy of the last image handed over (empty if none was).
  cv::Mat lastImage() const;
  int drawCount() const;
  std::string lastError() const;

 private:
  const int width_;
  const int height_;
  mutable std::mutex mutex_;
  cv::Mat last_;
  int draws_ = 0;
  std::string error_;
};
