#pragma once

#include <string>

#include "controller/PointerReading.h"

// What the window calls on the logic, always from the GUI thread.
// Not deleted through this interface (no virtual destructor).
class guiListener {
 public:
  // +1 for a wheel delta of zero or more, -1 for a negative one.
  virtual void mouseScrolled(int step) = 0;
  virtual void openPanorama(const std::string& path) = 0;
  virtual void openSoundData(const std::string& path) = 0;
  virtual void setTransValue(int value) = 0;
  virtual void setRepValue(int index) = 0;
  // Press point minus the pointer position of the previous mouse event.
  virtual void mouseDraged(int dx, int dy) = 0;
  virtual void mouseReleased() = 0;
  virtual void canvasSizeChanged(int width, int height) = 0;
  virtual void close() = 0;

  // Reading the sound map.
  // What lies under pixel (column, row) of the displayed image: a const
  // query of the camera and the loaded sound data that never starts a
  // recalculation (well under a millisecond).
  virtual PointerReading readPointer(int column, int row) const = 0;
  // Cells below percent / 100 of the shown set are not drawn (0 ... 99).
  virtual void setThreshold(int percent) = 0;
  // The colour scale is drawn into the view while a sound layer is visible.
  virtual void setLegendVisible(bool visible) = 0;
  // Turns the camera to the shown set's loudest direction.
  virtual void turnToPeak() = 0;

 protected:
  ~guiListener() = default;
};
