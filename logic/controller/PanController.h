#pragma once

#include <atomic>
#include <ctime>
#include <memory>
#include <string>

#include "controller/CamData.h"
#include "controller/DspParams.h"
#include "controller/Logger.h"
#include "controller/gui.h"
#include "controller/guiListener.h"

class APrioriOverlapper;
class PicLoader;
class PicManager;
class Picture;
class Puzzler;
class SoundData;

// The logic side of the viewer: owns the open panorama, the sound data, the
// camera and the display images, runs every recalculation and answers each
// user action coming through guiListener. Reports to the window through gui.
class PanController : public guiListener {
 public:
  PanController(gui* listener, double f, double altitude, double azimuth);
  ~PanController();
  PanController(const PanController&) = delete;
  PanController& operator=(const PanController&) = delete;

  // guiListener
  void mouseScrolled(int step) override;
  void openPanorama(const std::string& path) override;
  void openSoundData(const std::string& path) override;
  void setTransValue(int value) override;
  void setRepValue(int index) override;
  void mouseDraged(int dx, int dy) override;
  void mouseReleased() override;
  void canvasSizeChanged(int width, int height) override;
  void close() override;

  // 0 opened, -1 not a panorama, -3 missing or unreadable file.
  int openPanorama(const char* path);
  // 0 loaded, else the sound data's error code.
  int openSoundData(const char* path);
  void closePanorama();
  void closeSoundData();

  // (Re)creates the three display images at the camera's size.
  void initDspImgData();

  std::unique_ptr<Picture> outPicture;
  std::unique_ptr<Picture> sndPicture;
  std::unique_ptr<PicManager> picManager;
  std::shared_ptr<PicLoader> picLoader;
  std::unique_ptr<SoundData> soundData;
  std::unique_ptr<Puzzler> puuzler;
  std::unique_ptr<APrioriOverlapper> overlapper;
  gui* listener = nullptr;
  std::unique_ptr<Logger> logger;
  std::string xmlPath;  // empty while no panorama is open
  std::atomic<int> soundLayer{0};
  bool panoramaOpened = false;
  std::atomic<bool> soundImageOutdated{false};
  std::atomic<bool> lookAround{false};
  std::atomic<float> xVel{0.0f};
  std::atomic<float> yVel{0.0f};
  std::atomic<float> dragScale{0.0f};
  std::atomic<std::time_t> lastChange{0};
  std::atomic<bool> canvasResized{false};
  std::atomic<bool> locked{false};
  std::atomic<bool> scrolling{false};
  std::unique_ptr<CamData> camData;
  std::unique_ptr<DspParams> dspParams;
};
