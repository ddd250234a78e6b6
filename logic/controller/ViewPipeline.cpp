#include "controller/ViewPipeline.h"

#include <exception>
#include <vector>

#include <opencv2/core.hpp>

#include "base/ClearOnExit.h"
#include "base/Constants.h"
#include "base/ImageMemory.h"
#include "base/Logger.h"
#include "base/TextFormat.h"
#include "controller/Guarded.h"
#include "controller/PanoramaSession.h"
#include "controller/SoundOverlay.h"
#include "controller/ViewState.h"
#include "controller/gui.h"
#include "geometry/APrioriOverlapper.h"
#include "geometry/Puzzler.h"
#include "panorama/PicLoader.h"
#include "panorama/Picture.h"
#include "sound/SoundData.h"
#include "sound/SoundImage.h"

namespace {

// Copies `source` into the existing `target` like the image library's copy of
// one image into another: both must have the same size and type, else a
// cv::Exception is thrown and `target` is left untouched (cv::Mat::copyTo
// would silently reallocate it).
void requireSameSize(const cv::Mat& source, const cv::Mat& target) {
  if (source.size() != target.size() || source.type() != target.type()) {
    CV_Error(cv::Error::StsUnmatchedSizes,
             formatText("image of %dx%d used with an image of %dx%d", source.cols, source.rows,
                        target.cols, target.rows));
  }
}

void copyInto(const cv::Mat& source, cv::Mat& target) {
  requireSameSize(source, target);
  copyImagePixels(source, target);
}

// Runs `step`, logging an exception that leaves it: the image library's with
// its own text, any other with the fixed `otherText`.
template <typename Step>
void guardedStep(Logger* logger, const char* cvContext, const char* otherContext,
                 const char* otherText, Step&& step) {
  try {
    step();
  } catch (const cv::Exception& e) {
    logger->logError(cvContext, e.what());
  } catch (...) {
    logger->logError(otherContext, otherText);
  }
}

}  // namespace

ViewPipeline::ViewPipeline(gui* listener, Logger* logger, ViewState* state,
                           std::function<PanoramaSession*()> panorama,
                           std::function<SoundData*()> sound)
    : listener_(listener),
      logger_(logger),
      state_(state),
      panorama_(std::move(panorama)),
      sound_(std::move(sound)),
      decodeAhead_(logger) {}

ViewPipeline::~ViewPipeline() { freeThreads_.waitAll(); }

bool ViewPipeline::soundLayerVisible() const {
  const SoundData* sound = sound_();
  return sound != nullptr && sound->loaded && state_->display.soundAlpha.load() != 0.0f;
}

void ViewPipeline::waitForFreeThreads() { freeThreads_.waitAll(); }

void ViewPipeline::haltDecodeAhead() { decodeAhead_.halt(); }

void ViewPipeline::forgetPanoramaView() {
  std::lock_guard<std::recursive_mutex> recalc(recalcMutex_);
  outPicture_.reset();
  blendValid_ = false;
}

void ViewPipeline::forgetSoundView() {
  std::lock_guard<std::recursive_mutex> recalc(recalcMutex_);
  sndPicture_.reset();
  blendValid_ = false;
}

void ViewPipeline::initDspImgData() {
  std::lock_guard<std::recursive_mutex> recalc(recalcMutex_);
  logger_->log("PanController::initDspImgData()");
  DspParams& dsp = state_->display;
  dsp.displayImage.release();
  dsp.currentPic.release();
  dsp.currentSoundLayer.release();
  const CamData cam = state_->camera();
  const int w = cam.width > 0 ? cam.width : 0;
  const int h = cam.height > 0 ? cam.height : 0;
  // Cleared rather than left undefined, so that nothing stale is ever shown.
  dsp.displayImage = cv::Mat::zeros(h, w, CV_8UC3);
  dsp.currentPic = cv::Mat::zeros(h, w, CV_8UC3);
  dsp.currentSoundLayer = cv::Mat::zeros(h, w, CV_8UC3);
  soundValues_ = cv::Mat::zeros(h, w, CV_32F);
  blendValid_ = false;
}

CamData ViewPipeline::beginView(const char* status, const char* releaseLog,
                                std::unique_ptr<Picture>* slot, bool clearSpare) {
  ++state_->recalcRuns;
  listener_->setStatusText(status);
  state_->locked = true;
  cv::Mat spare;
  if (*slot) {
    logger_->log(releaseLog);
    spare = (*slot)->image;
    slot->reset();
  }
  const CamData camera = state_->camera();
  *slot = Picture::forCamera(camera, std::move(spare), clearSpare);
  return camera;
}

void ViewPipeline::recalculatePanImage(bool composeDisplay, bool refinement) {
  std::lock_guard<std::recursive_mutex> recalc(recalcMutex_);
  PanoramaSession* panorama = panorama_();
  if (panorama == nullptr) {
    return;
  }
  // The assembly writes every pixel of the view; where it does not, the
  // image is cleared below, so that nothing stale is ever shown.
  const CamData cam =
      beginView(refinement ? "Recalculate panorama image (refinement)" : "Recalculate panorama image",
                "PanController::recalculatePanImage delete old outPicture", &outPicture_, false);
  ClearOnExit unlockOnFailure(state_->locked);
  cv::Mat outImage = outPicture_->acquireImage();

  logger_->log("PanController::recalculatePanImage get overlapped images");
  std::vector<Picture*> overlapped;
  panorama->overlapper->getOverlappedPictures(outPicture_.get(), &overlapped);
  if (refinement) {
    decodeAhead_.finish();  // what it decoded is this refinement's
  }

  guardedStep(logger_, "recalcPanImage, loadNeededPictures cvExcetion",
              "recalcPanImage, loadNeededPictures general exception", "FUU",
              [&] { panorama->loader->loadNeededPictures(outPicture_.get(), refinement); });

  logger_->log("PanController::recalculatePanImage start puzzling");
  bool drawn = false;
  guardedStep(logger_, "recalcPanImage, puuzler->puzzleTogether, cvException",
              "recalcPanImage, puuzler->puzzleTogether, general exception", "FUU", [&] {
                const double fv = outPicture_->lengthToPixels(cam.f);
                drawn = panorama->assembler->puzzleTogether(static_cast<int>(overlapped.size()),
                                                            cam.width, cam.height, outPicture_.get(),
                                                            cam.azimuth, cam.altitude, fv);
              });
  if (!drawn) {
    outImage.setTo(cv::Scalar::all(0));
  }
  overlapped.clear();

  guardedStep(logger_, "recalculatePanImage, copy outImage to currentPic, cvException",
              "recalculatePanImage, copy outImage to currentPic, general Exception", "FUU",
              [&] {
                blendValid_ = false;
                copyInto(outImage, state_->display.currentPic);
              });

  if (composeDisplay) {
    guardedStep(logger_, "recalculatePanImage, recalculateDisplayImage, cvException",
                "recalculatePanImage, recalculateDisplayImage, general Exception", "FOOO",
                [&] { recalculateDisplayImage(); });
  } else {
    updateInfoText();
  }

  state_->locked = false;
  unlockOnFailure.dismiss();
  // The background work owns a copy of the view picture and shares the
  // loader, which therefore outlives it; closing waits for it all the same,
  // because the copy's overlap records point into the picture collection.
  std::shared_ptr<Picture> viewCopy(outPicture_->copyWithoutImages());
  startFreeThread(viewCopy, panorama->loader);
  if (!refinement) {
    decodeAhead_.schedule(viewCopy, panorama->loader);
  }
}

void ViewPipeline::startFreeThread(std::shared_ptr<Picture> viewCopy,
                                   std::shared_ptr<PicLoader> loader) {
  Logger* logger = logger_;
  freeThreads_.start([logger, viewCopy, loader] {
    guarded(logger, "PanController::freeUnneededThread", [&] { loader->freeUnneded(viewCopy.get()); });
  });
}

void ViewPipeline::refreshView() {
  std::lock_guard<std::recursive_mutex> recalc(recalcMutex_);
  ClearOnExit endScrolling(state_->scrolling);
  state_->soundImageOutdated = true;
  recalculatePanImage(!soundLayerVisible(), false);
  recalculateSndImage();
}

void ViewPipeline::recalculateDisplayImage() {
  std::lock_guard<std::recursive_mutex> recalc(recalcMutex_);
  logger_->log("PanController::recalculateDisplayImage()");
  listener_->setStatusText("Recalculate display-image");
  DspParams& dsp = state_->display;
  const bool panorama = panorama_() != nullptr;
  const bool sound = soundLayerVisible();
  const float threshold = state_->soundMap.threshold.load();
  if (panorama && sound) {
    const float alpha = dsp.soundAlpha.load();
    // addWeighted would reallocate a display image of another size instead
    // of failing; the caller expects the image library's failure.
    requireSameSize(dsp.currentPic, dsp.displayImage);
    requireSameSize(dsp.currentSoundLayer, dsp.displayImage);
    if (threshold > 0.0f) {
      // The blend is kept: a threshold change then only chooses, pixel by
      // pixel, between it and the panorama.
      if (!blendValid_ || blendAlpha_ != alpha || blend_.size() != dsp.displayImage.size()) {
        cv::addWeighted(dsp.currentPic, 1.0f - alpha, dsp.currentSoundLayer, alpha, 0.0, blend_);
        blendAlpha_ = alpha;
        blendValid_ = true;
      }
      selectByThreshold(dsp.displayImage, blend_, dsp.currentPic, soundValues_, threshold);
    } else {
      cv::addWeighted(dsp.currentPic, 1.0f - alpha, dsp.currentSoundLayer, alpha, 0.0,
                      dsp.displayImage);
    }
  } else if (panorama) {
    copyInto(dsp.currentPic, dsp.displayImage);
  } else if (sound && threshold > 0.0f) {
    selectByThreshold(dsp.displayImage, dsp.currentSoundLayer, cv::Mat(), soundValues_, threshold);
  } else if (sound) {
    copyInto(dsp.currentSoundLayer, dsp.displayImage);
  }
  if (sound) {
    // Peak marker and legend: drawn into the display image, so that the
    // window, its saved views and the renderer show the same pixels.
    drawSoundMarks(dsp.displayImage, state_->soundMap, *sound_(), state_->soundLayer,
                   state_->camera());
  }
  listener_->drawImage(dsp.displayImage);
  updateInfoText();
}

void ViewPipeline::updateInfoText() {
  const CamData cam = state_->camera();
  const double azimuth = cam.azimuth * 180.0 / kPi;
  const double altitude = cam.altitude * 180.0 / kPi;
  const SoundData* sound = sound_();
  std::string text;
  if (sound != nullptr && sound->loaded) {
    text = formatText("Focallength: %.2f, Azimuth: %.2f, Altitude: %.2f Sound: ", cam.f, azimuth,
                      altitude);
    text += sound->getName(state_->soundLayer);
  } else {
    text = formatText("Focallength: %.2f, Azimuth: %.2f, Altitude: %.2f", cam.f, azimuth, altitude);
  }
  listener_->setStatusText(text.c_str());
}

void ViewPipeline::recalculateSndImage() {
  std::lock_guard<std::recursive_mutex> recalc(recalcMutex_);
  SoundData* sound = sound_();
  if (sound == nullptr || !sound->loaded) {
    return;
  }
  if (state_->display.soundAlpha.load() == 0.0f) {
    state_->soundImageOutdated = true;
    return;
  }
  beginView("Recalculate sound-image", "PanController::recalculateSndImage delete old sndPicture",
            &sndPicture_);
  ClearOnExit unlockOnFailure(state_->locked);
  logger_->log("PanController::recalculateSndImage start soundPicture calculation");
  computeSoundImage(sndPicture_.get(), *sound, state_->soundLayer, &soundValues_);
  state_->soundImageOutdated = false;
  logger_->log(
      "PanController::recalculateSndImage copy new soundImage to dspParams->currentSoundLayer");
  // Sizes differ while a canvas size change has not settled: skip the copy
  // (and the composition) with an error entry rather than write elsewhere.
  try {
    blendValid_ = false;
    copyInto(sndPicture_->acquireImage(), state_->display.currentSoundLayer);
    recalculateDisplayImage();
  } catch (const cv::Exception& e) {
    logger_->logError(
        "recalculateSndImage, copy soundImage and recalculateDisplayImage, cvException", e.what());
  }

  state_->locked = false;
  unlockOnFailure.dismiss();
}
