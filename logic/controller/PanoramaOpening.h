#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "controller/PanoramaSession.h"
#include "panorama/OpenProgress.h"

class Logger;

// One panorama open in the background: reads a PanoramaSession (pictures,
// previews, view assembler, overlaps) beside the open one on its own thread,
// which it owns. The read session touches nothing the controller shares; the
// caller takes it once the thread has ended and decides what to do with it.
class PanoramaOpening {
 public:
  // Starts reading `path` on a new thread. `changed(done, total)` reports the
  // built previews (from the decode threads, see OpenProgress::changed);
  // `ended()` is called once from the thread when the read is over, read,
  // refused or cancelled. Neither may wait for the thread that owns this
  // object.
  // `setup` is the preview cache and the first view's kept decodes.
  PanoramaOpening(std::string path, Logger* logger, PreviewSetup setup,
                  std::function<void(int, int)> changed, std::function<void()> ended);
  // cancel() and wait().
  ~PanoramaOpening();
  PanoramaOpening(const PanoramaOpening&) = delete;
  PanoramaOpening& operator=(const PanoramaOpening&) = delete;

  // Asks the read to stop between photographs (any thread). A cancelled
  // open yields no session, even when its read had already finished.
  void cancel() { progress_.cancel = true; }
  bool cancelled() const { return progress_.cancel; }
  // The read is over (ended() is being or has been called).
  bool finished() const { return finished_; }
  // Waits for the thread to end (never called from that thread).
  void wait();

  // After wait(): the read session, nullptr when it was refused or
  // cancelled; and the German reason of a refusal (may be empty).
  std::unique_ptr<PanoramaSession> takeSession();
  const std::string& reason() const { return reason_; }
  // After wait(): the English reason for the log when a photograph could not
  // be read (may be empty).
  const std::string& detail() const { return detail_; }
  const std::string& path() const { return path_; }
  // Previews built so far, of `total` (0 until known).
  int done() const { return progress_.done; }
  int total() const { return progress_.total; }

 private:
  void run();

  const std::string path_;
  Logger* logger_;
  const PreviewSetup setup_;
  std::function<void()> ended_;
  OpenProgress progress_;
  // Written by the thread, read after wait().
  std::unique_ptr<PanoramaSession> session_;
  std::string reason_;
  std::string detail_;
  std::atomic<bool> finished_{false};
  std::thread thread_;  // last: started once everything above exists
};
