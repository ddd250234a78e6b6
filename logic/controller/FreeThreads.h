#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

// The short background jobs started after every view recalculation, each on a
// thread of its own. Nobody waits for one job to finish, but every thread
// stays owned: finished ones are joined when the next one starts, and
// waitAll() joins them all (before the objects they use are released).
// start() and waitAll() may be called from any thread, but not from a job.
class FreeThreads {
 public:
  FreeThreads() = default;
  // waitAll()
  ~FreeThreads();
  FreeThreads(const FreeThreads&) = delete;
  FreeThreads& operator=(const FreeThreads&) = delete;

  // Runs `job` on a new thread. The job must not throw.
  void start(std::function<void()> job);
  // Blocks until every job started so far has ended.
  void waitAll();
  // Jobs started and not yet joined (finished or not).
  int tracked() const;

 private:
  struct Job {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> finished;
  };

  mutable std::mutex mutex_;
  std::list<Job> jobs_;
};
