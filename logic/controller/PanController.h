#pragma once

#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "camera/CamData.h"
#include "controller/DspParams.h"
#include "controller/FreeThreads.h"
#include "base/Logger.h"
#include "controller/SettleTimer.h"
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
//
// Threads: the GUI thread calls every guiListener operation; one look-around
// thread turns the camera while the mouse is dragged; the settle timer
// computes the refined view a settle delay after the last change; a short
// free thread after every view recalculation lets the loader drop pictures
// the view no longer needs. All of them are owned and joined: opening,
// closing and close() first stop the look-around, cancel the timer (waiting
// for a running firing) and wait for the free threads.
//
// `locked` is what the user sees: while it is set, wheel, slider and
// look-around input is refused and the timer defers. The recalculations
// themselves are kept apart by a recursive mutex, and the camera by a mutex
// of its own: every recalculation works on one copy of the camera taken when
// it starts, so a canvas size change can never make it write outside an
// image (mismatched sizes are logged and the copy is skipped).
class PanController : public guiListener {
 public:
  // Half a degree in radians, rounded to single precision: the look-around
  // step per unit of velocity and the wheel step on the half field of view.
  static constexpr float kAngleStep = 0.008726646192371845f;
  // Velocity per pixel of drag, relative to dragScale.
  static constexpr float kDragGain = 8.0f;

  PanController(gui* listener, double f, double altitude, double azimuth);
  // close() unless it has run.
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
  // Ends every thread of the controller, releases the panorama and the sound
  // data and deletes the logger. Later calls of any operation do nothing.
  void close() override;

  // 0 opened, -1 not a panorama, -3 missing or unreadable file. The new
  // panorama replaces the open one only once it has been read: after a
  // failure the open panorama stays open.
  int openPanorama(const char* path);
  // 0 loaded, else the sound data's error code. As with panoramas, the loaded
  // sets are replaced only by a directory that loads.
  int openSoundData(const char* path);
  void closePanorama();
  void closeSoundData();

  // (Re)creates the three display images at the camera's size.
  void initDspImgData();

  // The view for the camera into currentPic; with composeDisplay also the
  // display image. refinement lets the loader bring the overlapping
  // photographs to the scale the view needs.
  void recalculatePanImage(bool composeDisplay, bool refinement);
  // The view and the sound image after a camera change.
  void refreshView();
  // (Re)arms the settle timer: onSleepThreadEnded follows settleDelay later.
  void restartSleepThread();
  // The settle timer's work: the pending resize, else the refinement, else
  // (while locked) a retry a settle delay later.
  void onSleepThreadEnded();

  // Composes displayImage from currentPic and currentSoundLayer by the state
  // and hands it to the gui. Throws cv::Exception when the images differ in
  // size (a canvas size change has not settled yet).
  void recalculateDisplayImage();
  // The camera line in the status text.
  void updateInfoText();
  // The sound image for the camera, when sound data are loaded and visible.
  void recalculateSndImage();

  // Sets the camera direction and focal length and refreshes the view.
  void setCameraData(double azimuth, double altitude, double f);
  void startLookAround();
  void updateLookAround();
  void stopLookAround();

  // A consistent copy of the camera.
  CamData camera() const;
  // Sound data are loaded and the sound layer is not transparent.
  bool soundLayerVisible() const;

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
  std::unique_ptr<SettleTimer> sleepThread;
  std::atomic<bool> canvasResized{false};
  std::atomic<bool> locked{false};
  std::atomic<bool> scrolling{false};
  std::unique_ptr<CamData> camData;  // written under cameraMutex
  std::unique_ptr<DspParams> dspParams;

  // How long the camera must be still before the refined view is computed.
  // Set before the controller is used (tests shorten it).
  std::chrono::milliseconds settleDelay{1000};
  // The time in whole seconds that measures the quiet time of the settle
  // timer; std::time by default. Set before the controller is used; it is
  // called from several threads.
  std::function<std::time_t()> clock;

 private:
  // Stops the look-around and joins its thread, cancels a pending timer and
  // waits for a running one, and waits for the free threads. A pending canvas
  // size change is applied (it would otherwise keep `locked` set); returns
  // true when that happened.
  bool quiesce();
  void stopLookAroundThread();
  void startFreeThread();
  // Runs `body`, logging any exception that leaves it under `context`.
  void guarded(const char* context, const std::function<void()>& body);

  mutable std::mutex cameraMutex_;
  std::recursive_mutex recalcMutex_;
  // Counts the recalculations that ran (passed their early returns); a step
  // that set `locked` and ran none clears it again.
  std::atomic<unsigned long> recalcRuns_{0};
  std::thread lookAroundThread_;
  FreeThreads freeThreads_;
  bool closed_ = false;
};
