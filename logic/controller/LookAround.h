#pragma once

#include <atomic>
#include <functional>
#include <thread>

class Logger;
class ViewState;

// Turning the camera while the mouse button is held: the pointer's distance
// from the press point sets two velocities, and a thread of its own turns the
// camera by them, one quick view after another, until the button is released.
class LookAround {
 public:
  // `step` turns the camera to (azimuth, altitude, f) and recalculates;
  // `settle` restarts the settle timer.
  LookAround(Logger* logger, ViewState* state,
             std::function<void(double azimuth, double altitude, double f)> step,
             std::function<void()> settle);
  // stopThread()
  ~LookAround();
  LookAround(const LookAround&) = delete;
  LookAround& operator=(const LookAround&) = delete;

  // A drag of (dx, dy) from the press point: new velocities, and the loop
  // starts unless it runs or a recalculation does.
  void drag(int dx, int dy);
  // The button was released: the loop ends at its next test.
  void release();
  // Stops the loop and waits for its thread.
  void stopThread();
  // The canvas height changed: the drag scale follows.
  void setCanvasHeight(int height);

  // The loop is running, or ended while the button is still held.
  bool active() const { return lookAround_.load(); }

 private:
  void run();
  void loop();

  Logger* logger_;
  ViewState* state_;
  std::function<void(double, double, double)> step_;
  std::function<void()> settle_;
  std::atomic<bool> lookAround_{false};
  std::atomic<float> xVel_{0.0f};
  std::atomic<float> yVel_{0.0f};
  std::atomic<float> dragScale_{0.0f};
  std::thread thread_;
};
