#pragma once

#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>
#include <memory>

#include "controller/SettleTimer.h"

class Logger;
class ViewPipeline;
class ViewState;

// The settle timer's job: a settle delay after the last camera change the
// refined view, or the end of a pending canvas size change. The quiet time is
// measured in whole seconds of `clock`.
class Refinement {
 public:
  Refinement(Logger* logger, ViewState* state, ViewPipeline* pipeline);
  // stop()
  ~Refinement();
  Refinement(const Refinement&) = delete;
  Refinement& operator=(const Refinement&) = delete;

  // How long the camera must be still, and the clock in whole seconds that
  // measures the quiet time (std::time by default; called from several
  // threads). Set before the controller is used (tests shorten them).
  void setTiming(std::chrono::milliseconds delay, std::function<std::time_t()> clock);

  // (Re)arms the timer: onFired follows a settle delay later.
  void restart();
  // The timer's work: the pending resize, else the refinement, else (while
  // locked) a retry a settle delay later; nothing unless a whole second
  // passed since the last restart.
  void onFired();
  // Drops a pending firing and waits for a running one.
  void cancel();
  // cancel(), then ends the timer's thread; later restarts are ignored.
  void stop();

  bool pending() const { return timer_->pending(); }
  bool running() const { return timer_->running(); }

 private:
  Logger* logger_;
  ViewState* state_;
  ViewPipeline* pipeline_;
  std::chrono::milliseconds delay_{1000};
  std::function<std::time_t()> clock_;
  std::atomic<std::time_t> lastChange_{0};
  std::unique_ptr<SettleTimer> timer_;
};
