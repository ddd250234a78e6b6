#include "StopSignals.h"

#include <pthread.h>

#include <csignal>

namespace {

sigset_t stopSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

StopSignals::StopSignals() {
  const sigset_t set = stopSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  thread_ = std::thread([this] { wait(); });
}

StopSignals::~StopSignals() {
  // The thread waits for the signals only: one sent to it alone wakes it.
  ending_ = true;
  pthread_kill(thread_.native_handle(), SIGTERM);
  thread_.join();
  const sigset_t set = stopSet();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void StopSignals::wait() {
  const sigset_t set = stopSet();
  while (!ending_) {
    int number = 0;
    if (sigwait(&set, &number) != 0 || ending_) {
      continue;
    }
    received_ = number;
  }
}
