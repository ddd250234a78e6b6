#include "controller/Documents.h"

#include <new>
#include <string>

#include "base/Logger.h"
#include "base/RegularFile.h"
#include "controller/FirstView.h"
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
    return keepDecodesForView(camera, pictures, kMaxKeptDecodes);
  };
  return setup;
}

int Documents::openPanorama(const char* path) {
  listener_->setStatusText("Opening the panorama");
  logger_->log("PanController::openPanorama");
  // Only a regular file is opened, never a pipe or device (which could block
  // the window for good).
  const std::string named = path != nullptr ? path : "";
  const FileProblem problem = probeRegularFile(named);
  if (problem != FileProblem::kNone) {
    const std::string reason = describeFileProblem(problem, named);
    logger_->log("PanController::openPanorama couldn't open xml-File");
    logger_->logError("PanController::openPanorama, opening the file", reason);
    showRefusal(PanoramaSession::missingFileMessage(path).c_str(), reason);
    return -3;
  }
  logger_->log("PanController::openPanorama file exists");

  // Nothing may still use the objects that are replaced below.
  const bool resized = quiesce_();

  logger_->log("PanController::openPanorama picManager->openPanorama");
  std::string reason;
  std::string detail;
  std::unique_ptr<PanoramaSession> next = PanoramaSession::read(path, &reason, previewSetup(), &detail);
  if (!next) {
    logger_->log("PanController::openPanorama couldn't open panorama");
    if (!detail.empty()) {
      logger_->logError("PanController::openPanorama, reading a photograph", detail);
    }
    if (!reason.empty()) {
      logger_->logError("PanController::openPanorama, reading the panorama", reason);
    }
    showRefusal(PanoramaSession::readFailureMessage(path).c_str(), reason);
    // The display images were re-created for a pending size change: show
    // what is open at the new size.
    if (resized) {
      pipeline_->refreshView();
    }
    // A pending refinement was cancelled above; it follows again.
    if (panorama_) {
      settle_();
    }
    return -1;
  }
  logger_->log("PanController::openPanorama panorama has been opened sucessfully ");

  if (panorama_) {
    logger_->log("PanController::openPanorama releasing previous panorama");
    closePanorama();
  }
  panorama_ = std::move(next);
  panorama_->prepare(logger_);
  logger_->log("PanController::openPanorama start panorama Image recalculation");
  pipeline_->recalculatePanImage(true, true);
  listener_->setInfoText(panorama_->infoText().c_str());
  return 0;
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
