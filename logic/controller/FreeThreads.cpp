#include "controller/FreeThreads.h"

#include <utility>

FreeThreads::~FreeThreads() { waitAll(); }

void FreeThreads::start(std::function<void()> job) {
  std::list<Job> done;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = jobs_.begin(); it != jobs_.end();) {
      auto next = std::next(it);
      if (it->finished->load()) {
        done.splice(done.end(), jobs_, it);
      }
      it = next;
    }
    auto finished = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([job = std::move(job), finished] {
      job();
      finished->store(true);
    });
    jobs_.push_back(Job{std::move(thread), std::move(finished)});
  }
  // A finished job's thread is at most returning from its function.
  for (Job& job : done) {
    job.thread.join();
  }
}

void FreeThreads::waitAll() {
  std::list<Job> all;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    all.swap(jobs_);
  }
  for (Job& job : all) {
    if (job.thread.joinable()) {
      job.thread.join();
    }
  }
}

int FreeThreads::tracked() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(jobs_.size());
}
