#include "controller/Documents.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "base/Logger.h"
#include "controller/PanoramaSession.h"
#include "controller/ViewPipeline.h"
#include "controller/ViewState.h"
#include "controller/gui.h"
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

int Documents::openPanorama(const char* path) {
  listener_->setStatusText("Opening the panorama");
  logger_->log("PanController::openPanorama");
  bool exists = false;
  if (path != nullptr) {
    std::error_code error;
    std::ifstream test(path);
    exists = test.is_open() && !std::filesystem::is_directory(path, error);
  }
  if (!exists) {
    logger_->log("PanController::openPanorama couldn't open xml-File");
    listener_->showErrorMessage(PanoramaSession::missingFileMessage(path).c_str());
    return -3;
  }
  logger_->log("PanController::openPanorama file exists");

  // Nothing may still use the objects that are replaced below.
  const bool resized = quiesce_();

  logger_->log("PanController::openPanorama picManager->openPanorama");
  std::string reason;
  std::unique_ptr<PanoramaSession> next = PanoramaSession::read(path, &reason);
  if (!next) {
    logger_->log("PanController::openPanorama couldn't open panorama");
    if (!reason.empty()) {
      logger_->logError("PanController::openPanorama, reading the panorama", reason);
    }
    listener_->showErrorMessage(PanoramaSession::readFailureMessage(path, reason).c_str());
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
  const int result = next->load(path);
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
  listener_->showErrorMessage("Fehler beim Laden der Tondaten!!!");
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
