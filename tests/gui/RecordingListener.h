#pragma once

#include <string>
#include <vector>

#include "controller/guiListener.h"

// A guiListener that writes every call as one line ("mouseDraged 19 -20"),
// for asserting on what the window and the scene report. GUI thread only.
class RecordingListener : public guiListener {
 public:
  virtual ~RecordingListener() = default;

  void mouseScrolled(int step) override { record("mouseScrolled " + std::to_string(step)); }
  void openPanorama(const std::string& path) override { record("openPanorama " + path); }
  void openSoundData(const std::string& path) override { record("openSoundData " + path); }
  void setTransValue(int value) override { record("setTransValue " + std::to_string(value)); }
  void setRepValue(int index) override { record("setRepValue " + std::to_string(index)); }
  void mouseDraged(int dx, int dy) override {
    record("mouseDraged " + std::to_string(dx) + " " + std::to_string(dy));
  }
  void mouseReleased() override { record("mouseReleased"); }
  void canvasSizeChanged(int width, int height) override {
    record("canvasSizeChanged " + std::to_string(width) + " " + std::to_string(height));
  }
  void close() override { record("close"); }

  std::string last() const { return calls.empty() ? std::string() : calls.back(); }

  std::vector<std::string> calls;

 private:
  void record(std::string call) { calls.push_back(std::move(call)); }
};
