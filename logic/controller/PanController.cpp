#include "controller/PanController.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <vector>

#include <opencv2/core.hpp>

#include "base/Constants.h"
#include "base/ClearOnExit.h"
#include "base/TextFormat.h"
#include "geometry/APrioriOverlapper.h"
#include "geometry/Puzzler.h"
#include "panorama/PicLoader.h"
#include "panorama/PicManager.h"
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
  source.copyTo(target);
}

// A sensor dimension as the information text shows it: truncated toward zero.
unsigned truncatedMillimetres(double value) {
  return value > 0.0 && value < 4294967296.0 ? static_cast<unsigned>(value) : 0u;
}

// For a step that took `locked` itself and relies on the recalculations to
// clear it: clears it again when no recalculation ran (nothing open, no
// visible sound layer) or when the step leaves by an exception.
class StepLock {
 public:
  StepLock(std::atomic<bool>& locked, const std::atomic<unsigned long>& runs)
      : locked_(locked), runs_(runs), before_(runs.load()), exceptions_(std::uncaught_exceptions()) {}
  ~StepLock() {
    if (runs_.load() == before_ || std::uncaught_exceptions() > exceptions_) {
      locked_ = false;
    }
  }
  StepLock(const StepLock&) = delete;
  StepLock& operator=(const StepLock&) = delete;

 private:
  std::atomic<bool>& locked_;
  const std::atomic<unsigned long>& runs_;
  unsigned long before_;
  int exceptions_;
};

}  // namespace

PanController::PanController(gui* listener, double f, double altitude, double azimuth)
    : listener(listener) {
  logger = std::make_unique<Logger>();
  locked = false;
  scrolling = false;
  camData = std::make_unique<CamData>();
  dspParams = std::make_unique<DspParams>();
  camData->height = listener->getCanvasHeight();
  camData->width = listener->getCanvasWidth();
  camData->updateSensorWidth();
  soundData = std::make_unique<SoundData>();
  xVel = 0.0f;
  yVel = 0.0f;
  soundImageOutdated = false;
  lookAround = false;
  soundLayer = 0;
  dragScale = std::pow(static_cast<float>(2LL * camData->height * camData->height), 0.5f);
  initDspImgData();
  camData->altitude = altitude;
  camData->azimuth = azimuth;
  camData->f = f;
  clock = [] { return std::time(nullptr); };
  lastChange = clock();
  canvasResized = false;
  panoramaOpened = false;
  sleepThread = std::make_unique<SettleTimer>(
      [this] { guarded("PanController::onSleepThreadEnded", [this] { onSleepThreadEnded(); }); });
}

PanController::~PanController() {
  if (!closed_) {
    close();
  }
}

CamData PanController::camera() const {
  std::lock_guard<std::mutex> lock(cameraMutex_);
  return *camData;
}

bool PanController::soundLayerVisible() const {
  return soundData && soundData->loaded && dspParams->soundAlpha.load() != 0.0f;
}

void PanController::guarded(const char* context, const std::function<void()>& body) {
  try {
    body();
  } catch (const cv::Exception& e) {
    logger->logError(formatText("%s, cvException", context).c_str(), e.what());
  } catch (const std::exception& e) {
    logger->logError(formatText("%s, general exception", context).c_str(), e.what());
  } catch (...) {
    logger->logError(formatText("%s, general exception", context).c_str(), "unknown exception");
  }
}

void PanController::initDspImgData() {
  std::lock_guard<std::recursive_mutex> recalc(recalcMutex_);
  logger->log("PanController::initDspImgData()");
  dspParams->displayImage.release();
  dspParams->currentPic.release();
  dspParams->currentSoundLayer.release();
  const CamData cam = camera();
  const int w = cam.width > 0 ? cam.width : 0;
  const int h = cam.height > 0 ? cam.height : 0;
  // Cleared rather than left undefined, so that nothing stale is ever shown.
  dspParams->displayImage = cv::Mat::zeros(h, w, CV_8UC3);
  dspParams->currentPic = cv::Mat::zeros(h, w, CV_8UC3);
  dspParams->currentSoundLayer = cv::Mat::zeros(h, w, CV_8UC3);
}

// ---------------------------------------------------------------------------
// Opening and closing

void PanController::openPanorama(const std::string& path) {
  if (closed_) {
    return;
  }
  guarded("PanController::openPanorama", [&] { openPanorama(path.c_str()); });
}

int PanController::openPanorama(const char* path) {
  if (closed_) {
    return -3;
  }
  listener->setStatusText("Opening the panorama");
  logger->log("PanController::openPanorama");
  bool exists = false;
  {
    std::error_code error;
    if (path != nullptr) {
      std::ifstream test(path);
      exists = test.is_open() && !std::filesystem::is_directory(path, error);
    }
  }
  if (!exists) {
    logger->log("PanController::openPanorama couldn't open xml-File");
    listener->showErrorMessage("XML-Datei existiert nicht oder konnte nicht geoeffnet werden!");
    return -3;
  }
  logger->log("PanController::openPanorama file exists");

  // Nothing may still use the objects that are replaced below.
  const bool resized = quiesce();

  // The new panorama is read beside the open one, which is released only
  // once the new one has been read and its view assembler built: a file that
  // does not read leaves the open panorama as it was.
  auto nextOverlapper = std::make_unique<APrioriOverlapper>();
  auto nextManager = std::make_unique<PicManager>();
  std::unique_ptr<Puzzler> nextPuzzler;
  nextOverlapper->panorama = nextManager.get();
  logger->log("PanController::openPanorama picManager->openPanorama");

  std::string reason;
  int status = PicManager::kNotLoaded;
  try {
    status = nextManager->openPanorama(path);
    reason = nextManager->error;
  } catch (const std::exception& e) {
    reason = e.what();
  }
  if (status == PicManager::kRead) {
    try {
      nextPuzzler = std::make_unique<Puzzler>("gaussStark", nextManager.get());
    } catch (const std::exception& e) {
      // No picture 0, or no weight map could be built: not a usable panorama.
      status = PicManager::kBadLayout;
      reason = e.what();
    }
  }
  if (status != PicManager::kRead) {
    logger->log("PanController::openPanorama couldn't open panorama");
    if (!reason.empty()) {
      logger->logError("PanController::openPanorama, reading the panorama", reason);
    }
    listener->showErrorMessage("Fehler beim lesen der XML-Datei!");
    // The display images were re-created for a pending size change: show
    // what is open at the new size.
    if (resized) {
      refreshView();
    }
    // A pending refinement was cancelled above; it follows again.
    if (!xmlPath.empty()) {
      restartSleepThread();
    }
    return -1;
  }
  logger->log("PanController::openPanorama panorama has been opened sucessfully ");

  if (!xmlPath.empty()) {
    logger->log("PanController::openPanorama releasing previous panorama");
    closePanorama();
  }
  xmlPath = path;
  overlapper = std::move(nextOverlapper);
  picManager = std::move(nextManager);
  puuzler = std::move(nextPuzzler);
  panoramaOpened = true;
  picLoader = std::make_shared<PicLoader>(picManager->count, logger.get());
  logger->log("PanController::openPanorama pcalculate Overlap");
  overlapper->calculateOverlap();
  logger->log("PanController::openPanorama start panorama Image recalculation");
  recalculatePanImage(true, true);

  const std::string info = formatText("Objektiv: %s\nBrennweite: %u\nSensorgroesse: %ux%u",
                                      picManager->lensName.c_str(),
                                      static_cast<unsigned>(picManager->focalLength),
                                      truncatedMillimetres(picManager->sensorWidth),
                                      truncatedMillimetres(picManager->sensorHeight));
  listener->setInfoText(info.c_str());
  return 0;
}

void PanController::closePanorama() {
  if (xmlPath.empty()) {
    return;
  }
  quiesce();
  logger->log("PanController::closePanorama");
  xmlPath.clear();
  picLoader.reset();
  puuzler.reset();
  outPicture.reset();
  // The overlapper works on the collection; it goes with it.
  overlapper.reset();
  picManager.reset();
}

void PanController::openSoundData(const std::string& path) {
  if (closed_) {
    return;
  }
  guarded("PanController::openSoundData", [&] {
    if (openSoundData(path.c_str()) == 0) {
      listener->setRepMaximum(soundData->count - 1);
      listener->setSoundControlsEnabled(true);
    } else {
      // A failed open keeps the sets loaded before: their controls stay
      // usable; without any they are off.
      listener->setSoundControlsEnabled(soundData && soundData->loaded);
    }
  });
}

int PanController::openSoundData(const char* path) {
  if (closed_) {
    return -1;
  }
  listener->setStatusText("Opening sounddata");
  logger->log("PanController::openSoundData");
  // The sound data are replaced below: no recalculation may read them.
  const bool resized = quiesce();
  // Read beside the loaded sets, which are replaced only on success: a
  // directory that does not load leaves them loaded and shown.
  auto next = std::make_unique<SoundData>();
  const int result = next->load(path);
  if (result == 0) {
    soundLayer = 0;
    soundData = std::move(next);
    logger->log(
        "PanController::openSoundData soundData sucessfully loaded, start (re)calculation of "
        "soundImage");
    soundImageOutdated = true;
    if (resized) {
      refreshView();  // the view as well: the display images were just re-created
    } else {
      recalculateSndImage();
    }
    return 0;
  }
  logger->log("PanController::openSoundData error occured while trying to load soundData");
  listener->showErrorMessage("Fehler beim Laden der Tondaten!!!");
  if (resized) {
    refreshView();
  }
  if (!xmlPath.empty()) {
    restartSleepThread();  // the refinement cancelled above
  }
  return result;
}

void PanController::closeSoundData() {
  quiesce();
  logger->log("PanController::closeSoundData");
  soundLayer = 0;
  if (soundData && soundData->loaded) {
    soundData->clear();
  }
  sndPicture.reset();
  dspParams->currentSoundLayer.release();
  logger->log("PanController::closeSoundData recalc display image");
}

void PanController::close() {
  if (closed_) {
    return;
  }
  closed_ = true;
  logger->log("PanController::close");
  // End every thread before anything they use is released.
  stopLookAroundThread();
  sleepThread->stop();
  freeThreads_.waitAll();
  canvasResized = false;
  closeSoundData();
  closePanorama();
  soundData.reset();
  logger.reset();
}

bool PanController::quiesce() {
  stopLookAroundThread();
  // Its end restarted the timer; a firing now would run during the release.
  sleepThread->cancel();
  freeThreads_.waitAll();
  if (!canvasResized.exchange(false)) {
    return false;
  }
  // The cancelled firing would have finished the size change and cleared
  // `locked`; do that now so the controller does not stay locked.
  logger->log("PanController::quiesce applies the pending canvas size change");
  initDspImgData();
  locked = false;
  return true;
}

void PanController::stopLookAroundThread() {
  yVel = 0.0f;
  lookAround = false;
  xVel = 0.0f;
  if (lookAroundThread_.joinable()) {
    lookAroundThread_.join();
  }
}

// ---------------------------------------------------------------------------
// Recalculation and refinement

void PanController::recalculatePanImage(bool composeDisplay, bool refinement) {
  std::lock_guard<std::recursive_mutex> recalc(recalcMutex_);
  if (xmlPath.empty()) {
    return;
  }
  ++recalcRuns_;
  listener->setStatusText(refinement ? "Recalculate panorama image (refinement)"
                                     : "Recalculate panorama image");
  locked = true;
  ClearOnExit unlockOnFailure(locked);
  const CamData cam = camera();

  if (outPicture) {
    logger->log("PanController::recalculatePanImage delete old outPicture");
    outPicture.reset();
  }
  outPicture = Picture::forCamera(cam);
  cv::Mat outImage = outPicture->acquireImage();

  logger->log("PanController::recalculatePanImage get overlapped images");
  std::vector<Picture*> overlapped;
  overlapper->getOverlappedPictures(outPicture.get(), &overlapped);

  try {
    picLoader->loadNeededPictures(outPicture.get(), refinement);
  } catch (const cv::Exception& e) {
    logger->logError("recalcPanImage, loadNeededPictures cvExcetion", e.what());
  } catch (...) {
    logger->logError("recalcPanImage, loadNeededPictures general exception", "FUU");
  }

  logger->log("PanController::recalculatePanImage start puzzling");
  try {
    const double fv = outPicture->lengthToPixels(cam.f);
    puuzler->puzzleTogether(static_cast<int>(overlapped.size()), cam.width, cam.height,
                            outPicture.get(), cam.azimuth, cam.altitude, fv);
  } catch (const cv::Exception& e) {
    logger->logError("recalcPanImage, puuzler->puzzleTogether, cvException", e.what());
  } catch (...) {
    logger->logError("recalcPanImage, puuzler->puzzleTogether, general exception", "FUU");
  }
  overlapped.clear();

  try {
    copyInto(outImage, dspParams->currentPic);
  } catch (const cv::Exception& e) {
    logger->logError("recalculatePanImage, copy outImage to currentPic, cvException", e.what());
  } catch (...) {
    logger->logError("recalculatePanImage, copy outImage to currentPic, general Exception", "FUU");
  }

  if (composeDisplay) {
    try {
      recalculateDisplayImage();
    } catch (const cv::Exception& e) {
      logger->logError("recalculatePanImage, recalculateDisplayImage, cvException", e.what());
    } catch (...) {
      logger->logError("recalculatePanImage, recalculateDisplayImage, general Exception", "FOOO");
    }
  } else {
    updateInfoText();
  }

  locked = false;
  unlockOnFailure.dismiss();
  startFreeThread();
}

void PanController::startFreeThread() {
  // The thread owns its copy of the view picture and shares the loader, which
  // therefore outlives it; closing waits for it all the same, because the
  // copy's overlap records point into the picture collection.
  std::shared_ptr<Picture> viewCopy(outPicture->copyWithoutImages());
  std::shared_ptr<PicLoader> loader = picLoader;
  freeThreads_.start([this, viewCopy, loader] {
    guarded("PanController::freeUnneededThread", [&] { loader->freeUnneded(viewCopy.get()); });
  });
}

void PanController::refreshView() {
  std::lock_guard<std::recursive_mutex> recalc(recalcMutex_);
  ClearOnExit endScrolling(scrolling);
  soundImageOutdated = true;
  if (soundLayerVisible()) {
    recalculatePanImage(false, false);
  } else {
    recalculatePanImage(true, false);
  }
  recalculateSndImage();
}

void PanController::restartSleepThread() {
  lastChange = clock();
  sleepThread->restart(settleDelay);
}

void PanController::onSleepThreadEnded() {
  // The timer is no longer pending once this runs: a restart arms a new one.
  const double quiet = std::difftime(clock(), lastChange.load());
  if (quiet < 1.0) {
    return;
  }
  // Taken before the images are re-created, so that a size change arriving
  // meanwhile sets it again and is finished by its own timer.
  if (canvasResized.exchange(false)) {
    logger->log("A sleep thread ended long enough after the canvas was resized");
    initDspImgData();
    locked = false;
    refreshView();
  } else if (!locked.exchange(true)) {
    StepLock step(locked, recalcRuns_);
    logger->log("A Sleep Thread ended and caused a refinement of the pan Image");
    recalculatePanImage(true, true);
  } else {
    logger->log("A Sleep Thread ended while the PanController was locked");
    restartSleepThread();
  }
}

// ---------------------------------------------------------------------------
// Display composition

void PanController::recalculateDisplayImage() {
  std::lock_guard<std::recursive_mutex> recalc(recalcMutex_);
  logger->log("PanController::recalculateDisplayImage()");
  listener->setStatusText("Recalculate display-image");
  DspParams& dsp = *dspParams;
  const bool panorama = !xmlPath.empty();
  const bool sound = soundLayerVisible();
  if (panorama && sound) {
    const float alpha = dsp.soundAlpha.load();
    // addWeighted would reallocate a display image of another size instead
    // of failing; the caller expects the image library's failure.
    requireSameSize(dsp.currentPic, dsp.displayImage);
    requireSameSize(dsp.currentSoundLayer, dsp.displayImage);
    cv::addWeighted(dsp.currentPic, 1.0f - alpha, dsp.currentSoundLayer, alpha, 0.0,
                    dsp.displayImage);
  } else if (panorama) {
    copyInto(dsp.currentPic, dsp.displayImage);
  } else if (sound) {
    copyInto(dsp.currentSoundLayer, dsp.displayImage);
  }
  listener->drawImage(dsp.displayImage);
  updateInfoText();
}

void PanController::updateInfoText() {
  const CamData cam = camera();
  const double azimuth = cam.azimuth * 180.0 / kPi;
  const double altitude = cam.altitude * 180.0 / kPi;
  std::string text;
  if (soundData && soundData->loaded) {
    text = formatText("Focallength: %.2f, Azimuth: %.2f, Altitude: %.2f Sound: ", cam.f, azimuth,
                      altitude);
    text += soundData->getName(soundLayer);
  } else {
    text = formatText("Focallength: %.2f, Azimuth: %.2f, Altitude: %.2f", cam.f, azimuth, altitude);
  }
  listener->setStatusText(text.c_str());
}

void PanController::recalculateSndImage() {
  std::lock_guard<std::recursive_mutex> recalc(recalcMutex_);
  if (!soundData || !soundData->loaded) {
    return;
  }
  if (dspParams->soundAlpha.load() == 0.0f) {
    soundImageOutdated = true;
    return;
  }
  ++recalcRuns_;
  listener->setStatusText("Recalculate sound-image");
  locked = true;
  ClearOnExit unlockOnFailure(locked);
  const CamData cam = camera();

  if (sndPicture) {
    logger->log("PanController::recalculateSndImage delete old sndPicture");
    sndPicture.reset();
  }
  sndPicture = Picture::forCamera(cam);
  logger->log("PanController::recalculateSndImage start soundPicture calculation");
  computeSoundImage(sndPicture.get(), *soundData, soundLayer);
  soundImageOutdated = false;
  logger->log(
      "PanController::recalculateSndImage copy new soundImage to dspParams->currentSoundLayer");
  // Sizes differ while a canvas size change has not settled: skip the copy
  // (and the composition) with an error entry rather than write elsewhere.
  try {
    copyInto(sndPicture->acquireImage(), dspParams->currentSoundLayer);
    recalculateDisplayImage();
  } catch (const cv::Exception& e) {
    logger->logError("recalculateSndImage, copy soundImage and recalculateDisplayImage, cvException",
                     e.what());
  }

  locked = false;
  unlockOnFailure.dismiss();
}

void PanController::setTransValue(int value) {
  if (closed_) {
    return;
  }
  if (locked) {
    logger->log("PanController::setTransValue, LOCKED");
    return;
  }
  logger->log("PanController::setTransValue, not locked, set new sound alpha");
  dspParams->soundAlpha =
      static_cast<float>(static_cast<double>(value) / listener->getTransMaximum());
  guarded("PanController::setTransValue", [this] {
    if (soundImageOutdated) {
      recalculateSndImage();
    } else {
      recalculateDisplayImage();
    }
  });
}

void PanController::setRepValue(int index) {
  if (closed_) {
    return;
  }
  soundLayer = index;
  if (!locked) {
    guarded("PanController::setRepValue", [this] {
      recalculateSndImage();
      recalculateDisplayImage();
    });
  }
}

// ---------------------------------------------------------------------------
// Navigation

void PanController::setCameraData(double azimuth, double altitude, double f) {
  logger->log(formatText("PanController::setCameraData, azimuth=%.5f, altitude=%.5f, f=%.5f",
                         azimuth, altitude, f));
  {
    std::lock_guard<std::mutex> lock(cameraMutex_);
    camData->azimuth = azimuth;
    camData->altitude = altitude;
    camData->f = f;
  }
  refreshView();
}

void PanController::mouseScrolled(int step) {
  if (closed_) {
    return;
  }
  if (locked || scrolling.exchange(true)) {
    logger->log("PanController::mouseScrolled, LOCKED");
    return;
  }
  ClearOnExit endScrolling(scrolling);
  const CamData cam = camera();
  const double halfAngle = std::atan(cam.sensorWidth / (2.0 * cam.f)) - step * kAngleStep;
  // Outside (0, 90) degrees the focal length would become infinite or negative.
  if (!(halfAngle > 0.0 && halfAngle < kPi / 2.0)) {
    logger->log("PanController::mouseScrolled, field of view limit reached");
    return;
  }
  logger->log("PanController::mouseScrolled, not locked, set new FocalLength");
  {
    std::lock_guard<std::mutex> lock(cameraMutex_);
    camData->f = cam.sensorWidth / (2.0 * std::tan(halfAngle));
  }
  guarded("PanController::mouseScrolled", [this] { refreshView(); });
  restartSleepThread();
}

void PanController::mouseDraged(int dx, int dy) {
  if (closed_) {
    return;
  }
  const float len = std::pow(static_cast<float>(1LL * dx * dx + 1LL * dy * dy), 0.5f);
  if (!(len > 0.0f)) {
    return;
  }
  const float k = kDragGain * len / dragScale.load();
  xVel = static_cast<float>(dx) * k / len;
  yVel = static_cast<float>(dy) * k / len;
  logger->log(formatText("PanController::mouseDraged, xVel: %f yVel: %f",
                         static_cast<double>(xVel.load()), static_cast<double>(yVel.load())));
  if (!lookAround && !locked) {
    logger->log("PanController::mouseDraged start lookAround");
    // A loop that ended earlier may still be restarting the timer.
    if (lookAroundThread_.joinable()) {
      lookAroundThread_.join();
    }
    // Set here, with the start, so that the next drag event cannot start a
    // second loop.
    lookAround = true;
    lookAroundThread_ = std::thread([this] { startLookAround(); });
  }
}

void PanController::startLookAround() {
  logger->log("PanController::startLookAround");
  // `lookAround` was set when the thread was started: setting it here could
  // undo a stop that came before this thread ran.
  guarded("PanController::updateLookAround", [this] { updateLookAround(); });
  restartSleepThread();
}

void PanController::updateLookAround() {
  while (lookAround) {
    if (locked.exchange(true)) {
      break;
    }
    StepLock step(locked, recalcRuns_);
    logger->log("PanController::updateLookAround lookAround is true and locked is false, set new CamData");
    const CamData cam = camera();
    setCameraData(cam.azimuth + static_cast<double>(xVel.load() * kAngleStep),
                  cam.altitude + static_cast<double>(yVel.load() * kAngleStep), cam.f);
    restartSleepThread();
  }
}

void PanController::mouseReleased() {
  if (closed_) {
    return;
  }
  logger->log("PanController::mouseReleased");
  stopLookAround();
}

void PanController::stopLookAround() {
  logger->log("PanController::stopLookAround");
  yVel = 0.0f;
  lookAround = false;
  xVel = 0.0f;
}

void PanController::canvasSizeChanged(int width, int height) {
  if (closed_) {
    return;
  }
  logger->log("PanController::canvasSizeChanged");
  if (width <= 0 || height <= 0) {
    // An empty canvas has no aspect ratio; the view keeps its size.
    logger->log("PanController::canvasSizeChanged, empty canvas ignored");
    return;
  }
  {
    std::lock_guard<std::mutex> lock(cameraMutex_);
    camData->width = width;
    camData->height = height;
    camData->updateSensorWidth();
  }
  dragScale = std::pow(static_cast<float>(2LL * height * height), 0.5f);
  canvasResized = true;
  locked = true;
  soundImageOutdated = true;
  restartSleepThread();
}
