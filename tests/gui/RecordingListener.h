#pragma once

#include <cmath>
#include <sstream>
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
  void cancelOpen() override { record("cancelOpen"); }
  void finishOpen() override { record("finishOpen"); }
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
  void turnBy(double dAzimuth, double dAltitude) override {
    record("turnBy " + degrees(dAzimuth) + " " + degrees(dAltitude));
  }
  void resetCamera() override { record("resetCamera"); }
  void grabAt(double column, double row) override {
    record("grabAt " + number(column) + " " + number(row));
  }
  void dragGrabbedTo(double column, double row) override {
    record("dragGrabbedTo " + number(column) + " " + number(row));
  }

  std::string last() const { return calls.empty() ? std::string() : calls.back(); }

  std::vector<std::string> calls;
  mutable std::vector<std::string> pointerQueries;
  PointerReading reading;

 private:
  void record(std::string call) { calls.push_back(std::move(call)); }
  // Shortest text of a number ("2", "-0.5"); angles in whole degrees when
  // they are (a turn by 2 degrees records "2").
  static std::string number(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
  }
  static std::string degrees(double radians) {
    return number(std::round(radians * 180.0 / 3.141592653589793 * 1e6) / 1e6);
  }
};
