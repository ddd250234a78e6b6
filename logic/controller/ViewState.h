#pragma once

#include <atomic>
#include <mutex>

#include "camera/CamData.h"
#include "controller/DspParams.h"
#include "controller/SoundMapOptions.h"

// What the controller's parts share: the camera, the display images and the
// flags that keep recalculations and user input apart.
//
// `locked` is what the user sees: while it is set, wheel, slider and
// look-around input is refused and the settle timer defers. The camera is
// read as one consistent copy; every recalculation works on the copy it took
// when it started.
class ViewState {
 public:
  CamData camera() const {
    std::lock_guard<std::mutex> lock(cameraMutex_);
    return camera_;
  }
  void setCamera(const CamData& camera) {
    std::lock_guard<std::mutex> lock(cameraMutex_);
    camera_ = camera;
  }
  void setDirection(double azimuth, double altitude, double f) {
    std::lock_guard<std::mutex> lock(cameraMutex_);
    camera_.azimuth = azimuth;
    camera_.altitude = altitude;
    camera_.f = f;
  }
  void setFocalLength(double f) {
    std::lock_guard<std::mutex> lock(cameraMutex_);
    camera_.f = f;
  }
  // The canvas size; the virtual sensor follows its aspect ratio.
  void setCanvas(int width, int height) {
    std::lock_guard<std::mutex> lock(cameraMutex_);
    camera_.width = width;
    camera_.height = height;
    camera_.updateSensorWidth();
  }

  DspParams display;
  SoundMapOptions soundMap;
  std::atomic<bool> locked{false};
  std::atomic<bool> scrolling{false};
  std::atomic<bool> canvasResized{false};
  std::atomic<bool> soundImageOutdated{false};
  std::atomic<int> soundLayer{0};
  // Counts the recalculations that ran (passed their early returns); a step
  // that set `locked` and ran none clears it again (StepLock).
  std::atomic<unsigned long> recalcRuns{0};

 private:
  mutable std::mutex cameraMutex_;
  CamData camera_;
};
