#pragma once

#include <QObject>

#include <chrono>

class PanController;
class viewer;

// Waits in the GUI thread until a window's controller has finished its work
// and everything it sent to the window has arrived: no recalculation running
// (`locked` clear), no canvas size change or settle timer outstanding, no
// look-around, and the queued images and texts delivered. Counts the images
// the window has shown since this object was made, so that a caller can wait
// for the image of a step that does not run in the GUI thread.
class SettledView : public QObject {
  Q_OBJECT

 public:
  SettledView(viewer* window, const PanController* controller);

  // The controller has nothing left to do (any thread may ask).
  bool controllerIdle() const;
  // Processes events until the controller is idle before and after handing
  // over the queued events, and at least `minimumFrames` images have been
  // shown; false when that has not happened within `timeout`.
  bool waitUntilSettled(std::chrono::milliseconds timeout, int minimumFrames = 0);
  // Images shown by the window since this object was made.
  int frames() const { return frames_; }

 private:
  const PanController* controller_;
  int frames_ = 0;
};
