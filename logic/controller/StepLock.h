#pragma once

#include <atomic>
#include <exception>

// For a step that took `locked` itself and relies on the recalculations to
// clear it: clears it again when no recalculation ran (nothing open, no
// visible sound layer) or when the step leaves by an exception.
class StepLock {
 public:
  StepLock(std::atomic<bool>& locked, const std::atomic<unsigned long>& runs)
      : locked_(locked), runs_(runs), before_(runs.load()), exceptions_(std::uncaught_exceptions()) {}
  ~StepLock() {
    if (runs_.load() == before_ || std::uncaught_exceptions() > exceptions_) {
      locked_ = false;
    }
  }
  StepLock(const StepLock&) = delete;
  StepLock& operator=(const StepLock&) = delete;

 private:
  std::atomic<bool>& locked_;
  const std::atomic<unsigned long>& runs_;
  unsigned long before_;
  int exceptions_;
};
