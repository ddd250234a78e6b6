#pragma once

#include <atomic>
#include <thread>

// Lets SIGINT and SIGTERM ask the program to stop at its next step instead of
// killing it: the signals are blocked in the thread that makes this object
// (and so in every thread started after it, the controller's included) and
// a thread of its own waits for them with sigwait. No code runs in a signal
// handler; the program polls stopRequested() between its steps and then
// closes the controller as usual.
//
// Make it first thing in main, before any other thread exists.
class StopSignals {
 public:
  StopSignals();
  // Ends the waiting thread and unblocks the signals again.
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  bool stopRequested() const { return received_.load() != 0; }
  // SIGINT or SIGTERM once one arrived, else 0.
  int received() const { return received_.load(); }

 private:
  void wait();

  std::atomic<int> received_{0};
  std::atomic<bool> ending_{false};
  std::thread thread_;
};
