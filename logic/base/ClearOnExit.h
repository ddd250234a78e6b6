#pragma once

#include <atomic>

// Clears an atomic flag when the scope ends, however it ends (also by an
// exception), unless dismiss() was called: for a flag such as "busy" or
// "locked" that an operation sets and must never leave set by accident.
class ClearOnExit {
 public:
  explicit ClearOnExit(std::atomic<bool>& flag) : flag_(flag) {}
  ~ClearOnExit() {
    if (armed_) {
      flag_ = false;
    }
  }
  ClearOnExit(const ClearOnExit&) = delete;
  ClearOnExit& operator=(const ClearOnExit&) = delete;

  // For an operation that clears the flag itself at its own step: from then
  // on another thread may set it again, and the end of the scope must not
  // undo that.
  void dismiss() { armed_ = false; }

 private:
  std::atomic<bool>& flag_;
  bool armed_ = true;
};
