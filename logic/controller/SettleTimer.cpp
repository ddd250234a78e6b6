#include "controller/SettleTimer.h"

#include <utility>

SettleTimer::SettleTimer(std::function<void()> onFired) : onFired_(std::move(onFired)) {
  thread_ = std::thread([this] { run(); });
}

SettleTimer::~SettleTimer() { stop(); }

void SettleTimer::restart(std::chrono::milliseconds delay) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopping_) {
    return;
  }
  pending_ = true;
  deadline_ = Clock::now() + delay;
  wake_.notify_all();
}

void SettleTimer::cancel() {
  std::unique_lock<std::mutex> lock(mutex_);
  pending_ = false;
  wake_.notify_all();
  idle_.wait(lock, [this] { return !running_; });
  // The callback may have re-armed the timer before it returned.
  pending_ = false;
}

void SettleTimer::stop() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    stopping_ = true;
    pending_ = false;
    wake_.notify_all();
    idle_.wait(lock, [this] { return !running_; });
  }
  if (thread_.joinable()) {
    thread_.join();
  }
}

bool SettleTimer::pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pending_;
}

bool SettleTimer::running() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_;
}

void SettleTimer::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return stopping_ || pending_; });
    if (stopping_) {
      return;
    }
    const Clock::time_point deadline = deadline_;
    const bool changed = wake_.wait_until(lock, deadline, [&] {
      return stopping_ || !pending_ || deadline_ != deadline;
    });
    if (changed) {
      continue;  // cancelled, re-armed or stopping: look again
    }
    pending_ = false;
    running_ = true;
    lock.unlock();
    try {
      onFired_();
    } catch (...) {
      // The owner logs its own failures; the timer only has to stay usable.
    }
    lock.lock();
    running_ = false;
    idle_.notify_all();
  }
}
