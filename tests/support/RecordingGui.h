#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "controller/gui.h"

// A headless gui that records every call (thread-safe), for driving the
// controller in tests.
class RecordingGui : public gui {
 public:
  RecordingGui(int width = 700, int height = 480) : width(width), height(height) {}
  virtual ~RecordingGui() = default;

  void drawImage(const cv::Mat& image) override;
  int getCanvasHeight() override { return height; }
  int getCanvasWidth() override { return width; }
  void setInfoText(const char* text) override;
  void setStatusText(const char* text) override;
  void showErrorMessage(const char* text) override;
  void setRepMaximum(int maximum) override;
  int getTransMaximum() override { return transMaximum; }
  void setSoundControlsEnabled(bool enabled) override;
  // Recorded as "<path> opened" or "<path> refused".
  void panoramaOpenEnded(const char* path, bool opened) override;
  // Recorded as "done/total", and counted.
  void showOpenProgress(int done, int total) override;
  void openProgressEnded() override;

  // Snapshots, safe while worker threads still call in.
  int drawCount() const;
  cv::Mat lastImage() const;
  std::vector<std::string> errors() const;
  std::vector<std::string> statusTexts() const;
  std::string infoText() const;
  int repMaximum() const;
  std::vector<bool> soundControls() const;
  std::vector<std::string> openEnds() const;
  std::vector<std::string> openProgress() const;
  int openProgressEnds() const;
  // Waits until at least `count` images were drawn; false on timeout.
  bool waitForDraws(int count, int timeoutMs) const;

  int width;
  int height;
  int transMaximum = 100;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable drawn_;
  int draws_ = 0;
  cv::Mat last_;
  std::vector<std::string> errors_;
  std::vector<std::string> status_;
  std::string info_;
  int repMaximum_ = -1;
  std::vector<bool> soundControls_;
  std::vector<std::string> openEnds_;
  std::vector<std::string> progress_;
  int progressEnds_ = 0;
};
