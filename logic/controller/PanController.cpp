#include "controller/PanController.h"

#include <algorithm>
#include <cmath>

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

bool PanController::settled() const {
  return !state_->locked && !state_->canvasResized && !lookAround_->active() &&
         !refinement_->pending() && !refinement_->running();
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
  int result = -3;
  guarded(logger_.get(), "PanController::openPanorama",
          [&] { result = openPanorama(path.c_str()); });
  // Whatever happened, the window learns that the open has ended.
  listener_->panoramaOpenEnded(path.c_str(), result == 0);
}

int PanController::openPanorama(const char* path) {
  return closed_ ? -3 : documents_->openPanorama(path);
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
  return closed_ ? -1 : documents_->openSoundData(path);
}

void PanController::close() {
  if (closed_) {
    return;
  }
  closed_ = true;
  logger_->log("PanController::close");
  // End every thread before anything they use is released.
  lookAround_->stopThread();
  refinement_->stop();
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

void PanController::restartSleepThread() { refinement_->restart(); }

void PanController::refine() { pipeline_->recalculatePanImage(true, true); }

// ---------------------------------------------------------------------------
// Sound layer

void PanController::setTransValue(int value) {
  if (closed_) {
    return;
  }
  if (state_->locked) {
    logger_->log("PanController::setTransValue, LOCKED");
    return;
  }
  logger_->log("PanController::setTransValue, not locked, set new sound alpha");
  state_->display.soundAlpha =
      static_cast<float>(static_cast<double>(value) / listener_->getTransMaximum());
  guarded(logger_.get(), "PanController::setTransValue", [this] {
    if (state_->soundImageOutdated) {
      pipeline_->recalculateSndImage();
    } else {
      pipeline_->recalculateDisplayImage();
    }
  });
}

void PanController::setRepValue(int index) {
  if (closed_) {
    return;
  }
  state_->soundLayer = index;
  if (!state_->locked) {
    guarded(logger_.get(), "PanController::setRepValue", [this] {
      pipeline_->recalculateSndImage();
      pipeline_->recalculateDisplayImage();
    });
  }
}

// ---------------------------------------------------------------------------
// Navigation

void PanController::setCameraData(double azimuth, double altitude, double f) {
  logger_->log(formatText("PanController::setCameraData, azimuth=%.5f, altitude=%.5f, f=%.5f",
                          azimuth, altitude, f));
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
  state_->setCanvas(width, height);
  lookAround_->setCanvasHeight(height);
  state_->canvasResized = true;
  state_->locked = true;
  state_->soundImageOutdated = true;
  restartSleepThread();
}

// ---------------------------------------------------------------------------
// Reading the sound map

PointerReading PanController::readPointer(int column, int row) const {
  if (closed_) {
    return PointerReading{};
  }
  return readPointerAt(state_->camera(), documents_->sound(), state_->soundLayer, column, row);
}

void PanController::setThreshold(int percent) { setThresholdValue(percent / 100.0); }

void PanController::setThresholdValue(double threshold) {
  if (closed_) {
    return;
  }
  if (std::isnan(threshold)) {
    logger_->log("PanController::setThreshold, NaN ignored");
    return;
  }
  threshold = std::clamp(threshold, 0.0, 1.0);
  logger_->log(formatText("PanController::setThreshold, %.4f", threshold));
  state_->soundMap.threshold = static_cast<float>(threshold);
  recomposeSoundMap("PanController::setThreshold");
}

void PanController::setLegendVisible(bool visible) {
  if (closed_) {
    return;
  }
  logger_->log(formatText("PanController::setLegendVisible, %d", visible ? 1 : 0));
  state_->soundMap.legend = visible;
  recomposeSoundMap("PanController::setLegendVisible");
}

void PanController::setPeakMarkerVisible(bool visible) {
  if (closed_) {
    return;
  }
  logger_->log(formatText("PanController::setPeakMarkerVisible, %d", visible ? 1 : 0));
  state_->soundMap.marker = visible;
  recomposeSoundMap("PanController::setPeakMarkerVisible");
}

void PanController::recomposeSoundMap(const char* what) {
  if (!pipeline_->soundLayerVisible()) {
    return;  // nothing of the sound map is shown
  }
  if (state_->locked) {
    logger_->log(std::string(what) + ", LOCKED");
    restartSleepThread();
    return;
  }
  guarded(logger_.get(), what, [this] {
    if (state_->soundImageOutdated) {
      pipeline_->recalculateSndImage();
    } else {
      pipeline_->recalculateDisplayImage();
    }
  });
}

void PanController::turnToPeak() {
  if (closed_) {
    return;
  }
  SoundPeak peak;
  if (!soundPeak(&peak)) {
    logger_->log("PanController::turnToPeak, no sound data");
    return;
  }
  if (state_->locked || state_->scrolling.exchange(true)) {
    logger_->log("PanController::turnToPeak, LOCKED");
    return;
  }
  ClearOnExit endScrolling(state_->scrolling);
  const CamData cam = state_->camera();
  // The equivalent of the peak's azimuth nearest the current one: the view
  // turns the short way instead of spinning by whole turns.
  const double azimuth = cam.azimuth + std::remainder(peak.azimuth - cam.azimuth, kTwoPi);
  logger_->log("PanController::turnToPeak, not locked, turn to the loudest direction");
  guarded(logger_.get(), "PanController::turnToPeak",
          [&] { setCameraData(azimuth, peak.altitude, cam.f); });
  restartSleepThread();
}

float PanController::soundThreshold() const { return state_->soundMap.threshold; }

bool PanController::soundPeak(SoundPeak* peak) const {
  const SoundData* sound = documents_->sound();
  if (closed_ || sound == nullptr || !sound->loaded) {
    return false;
  }
  return soundPeakOf(*sound, state_->soundLayer, peak);
}

std::string PanController::soundSetName() const {
  const SoundData* sound = documents_->sound();
  if (closed_ || sound == nullptr || !sound->loaded) {
    return std::string();
  }
  return sound->getName(state_->soundLayer);
}

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
