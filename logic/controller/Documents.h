#pragma once

#include <functional>
#include <memory>
#include <string>

class Logger;
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
class Documents {
 public:
  // `quiesce` stops every worker that could use what is replaced (it returns
  // true when it applied a pending canvas size change); `settle` restarts the
  // settle timer.
  Documents(gui* listener, Logger* logger, ViewState* state, ViewPipeline* pipeline,
            std::function<bool()> quiesce, std::function<void()> settle);
  ~Documents();

  // 0 opened, -1 not a panorama, -3 missing, unreadable or not a regular
  // file (a pipe is never opened). Every refusal shows its fixed message and,
  // as a second paragraph, the reason.
  int openPanorama(const char* path);
  // 0 loaded, else the sound data's error code.
  int openSoundData(const char* path);
  void closePanorama();
  void closeSoundData();
  // Deletes the sound data (the end of the controller).
  void dropSoundData();

  PanoramaSession* panorama() const { return panorama_.get(); }

  // Full-size decodes of the open kept for the first refinement at most
  // (3000 x 2000 photographs: 18 MB each).
  static constexpr int kMaxKeptDecodes = 6;
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
  std::unique_ptr<PanoramaSession> panorama_;
  std::unique_ptr<SoundData> sound_;
  std::shared_ptr<PreviewCache> previewCache_;
};
