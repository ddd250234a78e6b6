#include "controller/Documents.h"

#include <new>
#include <string>

#include "base/Logger.h"
#include "base/RegularFile.h"
#include "controller/FirstView.h"
#include "controller/PanoramaOpening.h"
#include "controller/PanoramaSession.h"
#include "controller/ViewPipeline.h"
#include "controller/ViewState.h"
#include "controller/gui.h"
#include "panorama/Picture.h"
#include "panorama/PreviewCache.h"
#include "sound/SoundData.h"

Documents::Documents(gui* listener, Logger* logger, ViewState* state, ViewPipeline* pipeline,
                     std::function<bool()> quiesce, std::function<void()> settle)
    : listener_(listener),
      logger_(logger),
      state_(state),
      pipeline_(pipeline),
      quiesce_(std::move(quiesce)),
      settle_(std::move(settle)),
      sound_(std::make_unique<SoundData>()) {}

Documents::~Documents() = default;

void Documents::showRefusal(const char* message, const std::string& reason) {
  if (reason.empty()) {
    listener_->showErrorMessage(message);
    return;
  }
  const std::string text = std::string(message) + "\n\n" + reason;
  listener_->showErrorMessage(text.c_str());
}

PreviewSetup Documents::previewSetup() {
  if (!previewCache_) {
    previewCache_ = std::make_shared<PreviewCache>(PreviewCache::defaultDirectory(),
                                                   PreviewCache::kDefaultMaxBytes, logger_);
  }
  PreviewSetup setup;
  setup.cache = previewCache_;
  const CamData camera = state_->camera();
  setup.keepDecodes = [camera](const std::vector<std::unique_ptr<Picture>>& pictures) {
    return keepDecodesForView(camera, pictures, kMaxKeptDecodeBytes);
  };
  return setup;
}

int Documents::openPanorama(const char* path) {
  const int started = startOpenPanorama(path);
  if (started != kStarted) {
    return started;
  }
  opening_->wait();
  return finishOpen();
}

int Documents::startOpenPanorama(const char* path) {
  if (opening_) {
    // One open at a time: the window refuses it like any input while locked.
    logger_->log("PanController::openPanorama, LOCKED");
    return kBusy;
  }
  listener_->setStatusText("Opening the panorama");
  logger_->log("PanController::openPanorama");
  // Only a regular file is opened, never a pipe or device (which could block
  // the reader for good).
  const std::string named = path != nullptr ? path : "";
  const FileProblem problem = probeRegularFile(named);
  if (problem != FileProblem::kNone) {
    const std::string reason = describeFileProblem(problem, named);
    logger_->log("PanController::openPanorama couldn't open xml-File");
    logger_->logError("PanController::openPanorama, opening the file", reason);
    showRefusal(PanoramaSession::missingFileMessage(path).c_str(), reason);
    return kMissing;
  }
  logger_->log("PanController::openPanorama file exists");

  // Nothing may run beside the open: the open panorama stays shown as it is,
  // at the canvas size of a pending size change.
  if (quiesce_()) {
    pipeline_->refreshView();
  }
  state_->locked = true;
  running_ = true;
  opening_ = std::make_unique<PanoramaOpening>(
      named, logger_, previewSetup(), [this](int done, int total) { listener_->showOpenProgress(done, total); },
      [this] { listener_->openProgressEnded(); });
  return kStarted;
}

int Documents::finishOpen(std::string* path) {
  if (!opening_ || !opening_->finished()) {
    return kNothingEnded;
  }
  opening_->wait();
  const std::unique_ptr<PanoramaOpening> ended = std::move(opening_);
  if (path != nullptr) {
    *path = ended->path();
  }
  std::unique_ptr<PanoramaSession> next = ended->takeSession();
  running_ = false;
  state_->locked = false;
  if (ended->cancelled()) {
    logger_->log("PanController::openPanorama cancelled, the open panorama stays");
    listener_->setStatusText("\xd6" "ffnen abgebrochen");  // Latin-1, as the status line reads it
    if (panorama_) {
      settle_();  // the refinement cancelled at the start follows again
    }
    return kCancelled;
  }
  if (!next) {
    logger_->log("PanController::openPanorama couldn't open panorama");
    if (!ended->detail().empty()) {
      logger_->logError("PanController::openPanorama, reading a photograph", ended->detail());
    }
    if (!ended->reason().empty()) {
      logger_->logError("PanController::openPanorama, reading the panorama", ended->reason());
    }
    showRefusal(PanoramaSession::readFailureMessage(ended->path().c_str()).c_str(), ended->reason());
    if (panorama_) {
      settle_();
    }
    return kNotPanorama;
  }

  if (panorama_) {
    logger_->log("PanController::openPanorama releasing previous panorama");
    closePanorama();
  }
  panorama_ = std::move(next);
  logger_->log("PanController::openPanorama start panorama Image recalculation");
  pipeline_->recalculatePanImage(true, true);
  listener_->setInfoText(panorama_->infoText().c_str());
  return kOpened;
}

void Documents::cancelOpen() {
  if (opening_) {
    logger_->log("PanController::cancelOpen");
    opening_->cancel();
  }
}

void Documents::abandonOpen() {
  if (!opening_) {
    return;
  }
  opening_->cancel();
  opening_->wait();
  opening_.reset();
  running_ = false;
  logger_->log("PanController::openPanorama abandoned, the controller closes");
  state_->locked = false;
}

void Documents::closePanorama() {
  if (!panorama_) {
    return;
  }
  quiesce_();
  logger_->log("PanController::closePanorama");
  // The view picture's records point into the pictures: it goes first.
  pipeline_->forgetPanoramaView();
  panorama_.reset();
}

int Documents::openSoundData(const char* path) {
  listener_->setStatusText("Opening sounddata");
  logger_->log("PanController::openSoundData");
  // The sound data are replaced below: no recalculation may read them.
  const bool resized = quiesce_();
  // Read beside the loaded sets, which are replaced only on success: a
  // directory that does not load leaves them loaded and shown.
  auto next = std::make_unique<SoundData>();
  int result = -1;
  try {
    result = next->load(path);
  } catch (const std::bad_alloc&) {
    // Within the directory limits this takes more memory than is left.
    next->clear();
    next->error = "Für die Tondaten reicht der Speicher nicht.";
  }
  if (result == 0) {
    state_->soundLayer = 0;
    sound_ = std::move(next);
    logger_->log(
        "PanController::openSoundData soundData sucessfully loaded, start (re)calculation of "
        "soundImage");
    state_->soundImageOutdated = true;
    if (resized) {
      pipeline_->refreshView();  // the view as well: the display images were just re-created
    } else {
      pipeline_->recalculateSndImage();
    }
    return 0;
  }
  logger_->log("PanController::openSoundData error occured while trying to load soundData");
  if (!next->error.empty()) {
    logger_->logError("PanController::openSoundData, loading the sound data", next->error);
  }
  showRefusal("Fehler beim Laden der Tondaten!!!", next->error);
  if (resized) {
    pipeline_->refreshView();
  }
  if (panorama_) {
    settle_();  // the refinement cancelled above
  }
  return result;
}

void Documents::closeSoundData() {
  quiesce_();
  logger_->log("PanController::closeSoundData");
  state_->soundLayer = 0;
  if (sound_ && sound_->loaded) {
    sound_->clear();
  }
  pipeline_->forgetSoundView();
  state_->display.currentSoundLayer.release();
  logger_->log("PanController::closeSoundData recalc display image");
}

void Documents::dropSoundData() { sound_.reset(); }
