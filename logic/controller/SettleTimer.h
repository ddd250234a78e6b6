#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// A restartable one-shot timer on one thread of its own. `restart` arms it to
// run the callback a delay from now; restarting while it waits moves the
// deadline (the earlier firing is cancelled). Once the callback has started
// nothing cuts it off; a restart from inside the callback arms the next
// firing. The callback runs on the timer's thread and must not call cancel()
// or stop().
class SettleTimer {
 public:
  using Clock = std::chrono::steady_clock;

  explicit SettleTimer(std::function<void()> onFired);
  // stop()
  ~SettleTimer();
  SettleTimer(const SettleTimer&) = delete;
  SettleTimer& operator=(const SettleTimer&) = delete;

  // Fires `delay` after now, replacing a pending firing. Ignored after stop().
  void restart(std::chrono::milliseconds delay);
  // Drops a pending firing and waits until a running callback has returned;
  // a firing that callback armed is dropped as well.
  void cancel();
  // cancel(), then ends the thread. Further restarts are ignored.
  void stop();

  // A firing is armed and has not started yet.
  bool pending() const;
  // The callback is running now.
  bool running() const;

 private:
  void run();

  std::function<void()> onFired_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;  // armed, re-armed, cancelled or stopped
  std::condition_variable idle_;  // a callback has returned
  bool pending_ = false;
  bool running_ = false;
  bool stopping_ = false;
  Clock::time_point deadline_{};
  std::thread thread_;
};
