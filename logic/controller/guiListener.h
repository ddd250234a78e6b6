#pragma once

#include <string>

#include "controller/PointerReading.h"

// What the window calls on the logic, always from the GUI thread.
// Not deleted through this interface (no virtual destructor).
class guiListener {
 public:
  // +1 for a wheel delta of zero or more, -1 for a negative one.
  virtual void mouseScrolled(int step) = 0;
  // Starts opening the panorama in the background: while it runs the window
  // stays free and shows gui::showOpenProgress; the controller refuses every
  // input that would recalculate or open ("..., LOCKED" in the log). Its end
  // comes as gui::openProgressEnded, and the window answers with finishOpen;
  // gui::panoramaOpenEnded follows (at once for a refusal before reading).
  virtual void openPanorama(const std::string& path) = 0;
  // Stops the running open between photographs; the open panorama stays.
  virtual void cancelOpen() = 0;
  // Applies the ended background open (nothing when none has ended).
  virtual void finishOpen() = 0;
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
  // Keyboard and drag navigation. Each is refused like the mouse while a
  // recalculation runs ("..., LOCKED" in the log) and otherwise shows the
  // quick view and restarts the settle timer.
  // Turns the camera by the given angles in radians (a larger azimuth turns
  // the view to the left, a larger altitude looks up).
  virtual void turnBy(double dAzimuth, double dAltitude) = 0;
  // Back to the camera the controller started with.
  virtual void resetCamera() = 0;
  // Grabs the world point shown at the view position (column, row) in
  // pixels; mouseReleased lets it go.
  virtual void grabAt(double column, double row) = 0;
  // Turns the camera so that the grabbed point lies at (column, row).
  virtual void dragGrabbedTo(double column, double row) = 0;

 protected:
  ~guiListener() = default;
};
