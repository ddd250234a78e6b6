#include "controller/PanController.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "base/ClearOnExit.h"
#include "base/Constants.h"
#include "base/Logger.h"
#include "base/TextFormat.h"
#include "controller/Documents.h"
#include "controller/Guarded.h"
#include "controller/ViewPipeline.h"
#include "controller/ViewState.h"
#include "sound/SoundData.h"
#include "sound/SoundPeak.h"

// The sound layer and the sound map operations of PanController (the rest is
// in PanController.cpp).

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

