#pragma once

#include <string>

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

 protected:
  ~guiListener() = default;
};
