#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>

#include "controller/SettleTimer.h"

class Logger;
class PicLoader;
class Picture;

// Decodes, once the camera has rested for kCalm after a quick view, the
// photographs the refinement of that view will read (PicLoader::decodeAhead),
// so that the refined view follows the settle timer's firing sooner. A newer
// quick view stops a running decode at its next photograph and starts the
// wait again; a refinement lets a running decode finish and takes its images.
class DecodeAhead {
 public:
  static constexpr std::chrono::milliseconds kCalm{300};

  explicit DecodeAhead(Logger* logger);
  // halt()
  ~DecodeAhead();
  DecodeAhead(const DecodeAhead&) = delete;
  DecodeAhead& operator=(const DecodeAhead&) = delete;

  // After a quick view: decode for `viewCopy` (a copy of the view picture
  // whose records point into the loader's pictures) kCalm from now, unless
  // another quick view comes first.
  void schedule(std::shared_ptr<Picture> viewCopy, std::shared_ptr<PicLoader> loader);
  // Before a refinement: drops a decode not yet started and waits for a
  // running one to end.
  void finish();
  // Before the pictures are released: stops a running decode at its next
  // photograph and waits for it; drops one not yet started.
  void halt();

 private:
  void run();

  Logger* logger_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;  // guards the two below
  std::shared_ptr<Picture> view_;
  std::shared_ptr<PicLoader> loader_;
  std::unique_ptr<SettleTimer> timer_;  // last: its thread ends first
};
