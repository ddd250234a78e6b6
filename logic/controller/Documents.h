#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

class Logger;
class PanoramaOpening;
class PanoramaSession;
class PreviewCache;
struct PreviewSetup;
class SoundData;
class ViewPipeline;
class ViewState;
class gui;

// The open panorama and the loaded sound data, and how they are opened and
// closed. A new panorama or sound directory is read beside what is open and
// replaces it only once it has been read: a file that does not read leaves
// everything as it was.
//
// A panorama is read in the background (PanoramaOpening): the open starts on
// the GUI thread, which stays free; `locked` is set and `opening()` true
// until the GUI thread applies the result with finishOpen. The synchronous
// openPanorama of the tools and tests does both in one call.
class Documents {
 public:
  // Results of the panorama opens.
  static constexpr int kOpened = 0;
  static constexpr int kNotPanorama = -1;  // refused after reading (message shown)
  static constexpr int kCancelled = -2;    // cancelled: the open panorama stays
  static constexpr int kMissing = -3;      // missing, unreadable, not a regular file
  static constexpr int kBusy = -4;         // another open is running
  static constexpr int kStarted = 1;       // startOpenPanorama: running now
  static constexpr int kNothingEnded = 2;  // finishOpen: no ended open to apply

  // `quiesce` stops every worker that could use what is replaced (it returns
  // true when it applied a pending canvas size change); `settle` restarts the
  // settle timer.
  Documents(gui* listener, Logger* logger, ViewState* state, ViewPipeline* pipeline,
            std::function<bool()> quiesce, std::function<void()> settle);
  ~Documents();

  // Opens synchronously: startOpenPanorama, waiting for the read,
  // finishOpen. kOpened, kNotPanorama, kMissing (a pipe is never opened)
  // or kBusy. Every refusal shows its fixed message and, as a second
  // paragraph, the reason.
  int openPanorama(const char* path);
  // Starts reading `path` in the background and returns kStarted; a refusal
  // found before reading (kMissing, with its message; kBusy, logged only)
  // is returned at once. While it runs, gui::showOpenProgress reports the
  // previews; its end is told by gui::openProgressEnded (from the worker).
  int startOpenPanorama(const char* path);
  // Applies an ended background open (GUI thread): replaces the panorama
  // (kOpened), shows the refusal (kNotPanorama) or, when cancelled, keeps the
  // open panorama with a status text and a log line (kCancelled). Clears
  // `locked`. kNothingEnded when no open has ended: nothing happens. The
  // opened path goes to *path when given.
  int finishOpen(std::string* path = nullptr);
  // Asks a running open to stop between photographs (GUI thread).
  void cancelOpen();
  // Cancels a running open, waits for its thread and drops what it read
  // (the end of the controller).
  void abandonOpen();
  // An open has started and its result is not yet applied (any thread).
  bool opening() const { return running_; }
  // 0 loaded, else the sound data's error code.
  int openSoundData(const char* path);
  void closePanorama();
  void closeSoundData();
  // Deletes the sound data (the end of the controller).
  void dropSoundData();

  PanoramaSession* panorama() const { return panorama_.get(); }

  // Bytes of the open's decodes kept for the first refinement, at most (at
  // the sizes it loads: seven 3000 x 2000 photographs at full size).
  static constexpr std::size_t kMaxKeptDecodeBytes = std::size_t{128} << 20;
  SoundData* sound() const { return sound_.get(); }

 private:
  // Shows `message` (the fixed first line) with `reason` as a second
  // paragraph when there is one: "message\n\nreason".
  void showRefusal(const char* message, const std::string& reason);
  // The preview cache (made on first use in the user's cache directory) and
  // the photographs of the current camera's view as the ones whose decode is
  // kept.
  PreviewSetup previewSetup();

  gui* listener_;
  Logger* logger_;
  ViewState* state_;
  ViewPipeline* pipeline_;
  std::function<bool()> quiesce_;
  std::function<void()> settle_;
  std::unique_ptr<PanoramaOpening> opening_;  // GUI thread only
  std::atomic<bool> running_{false};  // opening_ is set
  std::unique_ptr<PanoramaSession> panorama_;
  std::unique_ptr<SoundData> sound_;
  std::shared_ptr<PreviewCache> previewCache_;
};
