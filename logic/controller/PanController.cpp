#include "controller/PanController.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "base/ClearOnExit.h"
#include "base/Constants.h"
#include "base/Logger.h"
#include "base/TextFormat.h"
#include "camera/CameraLimits.h"
#include "camera/PointerGrab.h"
#include "controller/Documents.h"
#include "controller/Guarded.h"
#include "controller/LookAround.h"
#include "controller/Navigation.h"
#include "controller/PanoramaSession.h"
#include "controller/Refinement.h"
#include "controller/StepLock.h"
#include "controller/ViewPipeline.h"
#include "controller/ViewState.h"
#include "panorama/PicManager.h"
#include "sound/SoundData.h"
#include "sound/SoundPeak.h"

PanController::PanController(gui* listener, double f, double altitude, double azimuth)
    : listener_(listener) {
  logger_ = std::make_unique<Logger>();
  state_ = std::make_unique<ViewState>();
  CamData camera;
  camera.height = listener->getCanvasHeight();
  camera.width = listener->getCanvasWidth();
  camera.updateSensorWidth();
  state_->setCamera(camera);
  pipeline_ = std::make_unique<ViewPipeline>(
      listener_, logger_.get(), state_.get(), [this] { return documents_->panorama(); },
      [this] { return documents_->sound(); });
  documents_ = std::make_unique<Documents>(
      listener_, logger_.get(), state_.get(), pipeline_.get(), [this] { return quiesce(); },
      [this] { restartSleepThread(); });
  pipeline_->initDspImgData();
  if (isUsableCamera(azimuth, altitude, f, camera.sensorWidth)) {
    state_->setDirection(azimuth, altitude, f);
  } else {
    logger_->log(formatText(
        "PanController, unusable start camera azimuth=%g, altitude=%g, f=%g ignored", azimuth,
        altitude, f));
  }
  startCamera_ = state_->camera();
  refinement_ = std::make_unique<Refinement>(logger_.get(), state_.get(), pipeline_.get());
  lookAround_ = std::make_unique<LookAround>(
      logger_.get(), state_.get(),
      [this](double az, double alt, double focal) { setCameraData(az, alt, focal); },
      [this] { restartSleepThread(); });
}

PanController::~PanController() {
  if (!closed_) {
    close();
  }
}

// ---------------------------------------------------------------------------
// Observing

CamData PanController::camera() const { return state_->camera(); }

bool PanController::locked() const { return state_->locked; }

bool PanController::opening() const { return documents_->opening(); }

bool PanController::settled() const {
  return !documents_->opening() && !state_->locked && !state_->canvasResized &&
         !lookAround_->active() && !refinement_->pending() && !refinement_->running();
}

const PicManager* PanController::panorama() const {
  const PanoramaSession* session = documents_->panorama();
  return session != nullptr ? session->pictures.get() : nullptr;
}

std::string PanController::panoramaPath() const {
  const PanoramaSession* session = documents_->panorama();
  return session != nullptr ? session->path : std::string();
}

bool PanController::soundLoaded() const {
  const SoundData* sound = documents_->sound();
  return sound != nullptr && sound->loaded;
}

int PanController::soundSetCount() const { return soundLoaded() ? documents_->sound()->count : 0; }

int PanController::soundLayer() const { return state_->soundLayer; }

float PanController::soundAlpha() const { return state_->display.soundAlpha; }

cv::Mat PanController::displayImage() const { return state_->display.displayImage.clone(); }

void PanController::setSettleTiming(std::chrono::milliseconds delay,
                                    std::function<std::time_t()> clock) {
  refinement_->setTiming(delay, std::move(clock));
}

// ---------------------------------------------------------------------------
// Opening and closing

void PanController::openPanorama(const std::string& path) {
  if (closed_) {
    return;
  }
  int result = Documents::kMissing;
  guarded(logger_.get(), "PanController::openPanorama",
          [&] { result = documents_->startOpenPanorama(path.c_str()); });
  // Refused before reading: the window learns at once that the open has
  // ended. A started one ends in finishOpen.
  if (result != Documents::kStarted) {
    listener_->panoramaOpenEnded(path.c_str(), false);
  }
}

void PanController::cancelOpen() {
  if (!closed_) {
    documents_->cancelOpen();
  }
}

void PanController::finishOpen() {
  if (closed_ || !documents_->opening()) {
    return;
  }
  std::string path;
  int result = Documents::kNothingEnded;
  guarded(logger_.get(), "PanController::finishOpen",
          [&] { result = documents_->finishOpen(&path); });
  if (documents_->opening()) {
    return;  // still reading: its own end calls again
  }
  // A size change that came during the open is applied now.
  if (pendingWidth_ > 0) {
    canvasSizeChanged(std::exchange(pendingWidth_, 0), std::exchange(pendingHeight_, 0));
  }
  // Whatever happened, the window learns that the open has ended.
  listener_->panoramaOpenEnded(path.c_str(), result == Documents::kOpened);
}

int PanController::openPanorama(const char* path) {
  return closed_ ? Documents::kMissing : documents_->openPanorama(path);
}

void PanController::openSoundData(const std::string& path) {
  if (closed_) {
    return;
  }
  guarded(logger_.get(), "PanController::openSoundData", [&] {
    if (openSoundData(path.c_str()) == 0) {
      listener_->setRepMaximum(documents_->sound()->count - 1);
      listener_->setSoundControlsEnabled(true);
    } else {
      // A failed open keeps the sets loaded before: their controls stay
      // usable; without any they are off.
      listener_->setSoundControlsEnabled(soundLoaded());
    }
  });
}

int PanController::openSoundData(const char* path) {
  if (closed_) {
    return -1;
  }
  if (documents_->opening()) {
    logger_->log("PanController::openSoundData, LOCKED");
    return -1;
  }
  return documents_->openSoundData(path);
}

void PanController::close() {
  if (closed_) {
    return;
  }
  closed_ = true;
  logger_->log("PanController::close");
  // End every thread before anything they use is released; a running open
  // first, as its end would start the others again.
  documents_->abandonOpen();
  lookAround_->stopThread();
  refinement_->stop();
  pipeline_->haltDecodeAhead();
  pipeline_->waitForFreeThreads();
  state_->canvasResized = false;
  documents_->closeSoundData();
  documents_->closePanorama();
  documents_->dropSoundData();
  logger_.reset();
}

bool PanController::quiesce() {
  lookAround_->stopThread();
  // Its end restarted the timer; a firing now would run during the release.
  refinement_->cancel();
  pipeline_->haltDecodeAhead();
  pipeline_->waitForFreeThreads();
  if (!state_->canvasResized.exchange(false)) {
    return false;
  }
  // The cancelled firing would have finished the size change and cleared
  // `locked`; do that now so the controller does not stay locked.
  logger_->log("PanController::quiesce applies the pending canvas size change");
  pipeline_->initDspImgData();
  state_->locked = false;
  return true;
}

void PanController::restartSleepThread() {
  // During an open the timer stays off: its firing would clear `locked`.
  // The open's end shows a refined view or restarts the timer.
  if (!documents_->opening()) {
    refinement_->restart();
  }
}

void PanController::refine() {
  if (documents_->opening()) {
    logger_->log("PanController::refine, LOCKED");
    return;
  }
  pipeline_->waitForFreeThreads();
  pipeline_->recalculatePanImage(true, true);
}

// ---------------------------------------------------------------------------
// Navigation

void PanController::setCameraData(double azimuth, double altitude, double f) {
  logger_->log(formatText("PanController::setCameraData, azimuth=%.5f, altitude=%.5f, f=%.5f",
                          azimuth, altitude, f));
  if (documents_->opening()) {
    // The view's recalculation would clear the open's `locked`.
    logger_->log("PanController::setCameraData, LOCKED");
    return;
  }
  if (!isUsableCamera(azimuth, altitude, f, state_->camera().sensorWidth)) {
    // A NaN or infinite angle or focal length would reach the grid and image
    // lookups as a NaN index: the camera stays where it is.
    logger_->log("PanController::setCameraData, unusable camera ignored");
    return;
  }
  state_->setDirection(azimuth, altitude, f);
  pipeline_->refreshView();
}

void PanController::mouseScrolled(int step) {
  if (closed_) {
    return;
  }
  if (state_->locked || state_->scrolling.exchange(true)) {
    logger_->log("PanController::mouseScrolled, LOCKED");
    return;
  }
  ClearOnExit endScrolling(state_->scrolling);
  double f = 0.0;
  if (!zoomedFocalLength(state_->camera(), step, &f)) {
    logger_->log("PanController::mouseScrolled, field of view limit reached");
    return;
  }
  logger_->log("PanController::mouseScrolled, not locked, set new FocalLength");
  state_->setFocalLength(f);
  guarded(logger_.get(), "PanController::mouseScrolled", [this] { pipeline_->refreshView(); });
  restartSleepThread();
}

void PanController::mouseDraged(int dx, int dy) {
  if (closed_) {
    return;
  }
  if (documents_->opening()) {
    logger_->log("PanController::mouseDraged, LOCKED");
    return;
  }
  lookAround_->drag(dx, dy);
}

void PanController::mouseReleased() {
  if (closed_) {
    return;
  }
  logger_->log("PanController::mouseReleased");
  grabbing_ = false;
  lookAround_->release();
}

void PanController::canvasSizeChanged(int width, int height) {
  if (closed_) {
    return;
  }
  logger_->log("PanController::canvasSizeChanged");
  if (width <= 0 || height <= 0) {
    // An empty canvas has no aspect ratio; the view keeps its size.
    logger_->log("PanController::canvasSizeChanged, empty canvas ignored");
    return;
  }
  if (documents_->opening()) {
    // No recalculation while the open runs; its end applies the last size.
    logger_->log("PanController::canvasSizeChanged, LOCKED, kept for the end of the open");
    pendingWidth_ = width;
    pendingHeight_ = height;
    return;
  }
  state_->setCanvas(width, height);
  lookAround_->setCanvasHeight(height);
  state_->canvasResized = true;
  state_->locked = true;
  state_->soundImageOutdated = true;
  restartSleepThread();
}

// ---------------------------------------------------------------------------
// Keyboard and drag navigation

template <typename Target>
void PanController::stepCamera(const char* context, Target target) {
  if (closed_) {
    return;
  }
  // As a look-around step: taking `locked` keeps the step apart from a
  // running recalculation, the look-around thread and the settle timer.
  if (state_->locked.exchange(true)) {
    logger_->log(formatText("%s, LOCKED", context));
    return;
  }
  StepLock step(state_->locked, state_->recalcRuns);
  CamData cam = state_->camera();
  if (!target(&cam)) {
    logger_->log(formatText("%s, no camera shows that", context));
    return;
  }
  logger_->log(formatText("%s, not locked, turn the camera", context));
  guarded(logger_.get(), context, [&] { setCameraData(cam.azimuth, cam.altitude, cam.f); });
  restartSleepThread();
}

void PanController::turnBy(double dAzimuth, double dAltitude) {
  stepCamera("PanController::turnBy", [&](CamData* cam) {
    cam->azimuth += dAzimuth;
    cam->altitude += dAltitude;
    return true;
  });
}

void PanController::resetCamera() {
  stepCamera("PanController::resetCamera", [&](CamData* cam) {
    cam->azimuth = startCamera_.azimuth;
    cam->altitude = startCamera_.altitude;
    cam->f = startCamera_.f;
    return true;
  });
}

void PanController::grabAt(double column, double row) {
  if (closed_) {
    return;
  }
  grabbed_ = pointerDirection(state_->camera(), column, row);
  grabbing_ = true;
  logger_->log(formatText("PanController::grabAt, column=%.2f, row=%.2f", column, row));
}

void PanController::dragGrabbedTo(double column, double row) {
  if (!grabbing_) {
    return;
  }
  stepCamera("PanController::dragGrabbedTo", [&](CamData* cam) {
    return turnToShow(*cam, grabbed_, column, row, &cam->azimuth, &cam->altitude);
  });
}
