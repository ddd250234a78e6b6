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
  // The pointer queries are const: they go to their own list, and answer
  // with `reading`.
  PointerReading readPointer(int column, int row) const override {
    pointerQueries.push_back(std::to_string(column) + " " + std::to_string(row));
    return reading;
  }
  void setThreshold(int percent) override { record("setThreshold " + std::to_string(percent)); }
  void setLegendVisible(bool visible) override {
    record(std::string("setLegendVisible ") + (visible ? "1" : "0"));
  }
  void turnToPeak() override { record("turnToPeak"); }

  std::string last() const { return calls.empty() ? std::string() : calls.back(); }

  std::vector<std::string> calls;
  mutable std::vector<std::string> pointerQueries;
  PointerReading reading;

 private:
  void record(std::string call) { calls.push_back(std::move(call)); }
};
