#include "controller/PanController.h"

#include <cmath>

#include "geometry/APrioriOverlapper.h"
#include "geometry/Puzzler.h"
#include "panorama/PicLoader.h"
#include "panorama/PicManager.h"
#include "panorama/Picture.h"
#include "sound/SoundData.h"

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
  dragScale = std::pow(static_cast<float>(2 * camData->height * camData->height), 0.5f);
  initDspImgData();
  camData->altitude = altitude;
  camData->azimuth = azimuth;
  camData->f = f;
  lastChange = std::time(nullptr);
  canvasResized = false;
  panoramaOpened = false;
}

PanController::~PanController() = default;

void PanController::initDspImgData() {
  logger->log("PanController::initDspImgData()");
  dspParams->displayImage.release();
  dspParams->currentPic.release();
  dspParams->currentSoundLayer.release();
  const int w = camData->width > 0 ? camData->width : 0;
  const int h = camData->height > 0 ? camData->height : 0;
  dspParams->displayImage = cv::Mat::zeros(h, w, CV_8UC3);
  dspParams->currentPic = cv::Mat::zeros(h, w, CV_8UC3);
  dspParams->currentSoundLayer = cv::Mat::zeros(h, w, CV_8UC3);
}

// The operations below are built by the controller work; until then they do
// nothing.
void PanController::mouseScrolled(int) {}
void PanController::openPanorama(const std::string& path) { openPanorama(path.c_str()); }
void PanController::openSoundData(const std::string& path) { openSoundData(path.c_str()); }
void PanController::setTransValue(int) {}
void PanController::setRepValue(int) {}
void PanController::mouseDraged(int, int) {}
void PanController::mouseReleased() {}
void PanController::canvasSizeChanged(int, int) {}
void PanController::close() {}
int PanController::openPanorama(const char*) { return -3; }
int PanController::openSoundData(const char*) { return -1; }
void PanController::closePanorama() {}
void PanController::closeSoundData() {}
