#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include <opencv2/core.hpp>

#include "camera/CamData.h"
#include "controller/DecodeAhead.h"
#include "controller/FreeThreads.h"

class Logger;
class PanoramaSession;
class PicLoader;
class Picture;
class SoundData;
class ViewState;
class gui;

// What the controller shows, computed from the open panorama and sound
// data for the camera of the shared state: the panorama view (overlaps,
// loads, assembly) into currentPic, the sound image into currentSoundLayer,
// and the display image composed of both (with the sound map's threshold,
// peak marker and legend, controller/SoundOverlay.h) and handed to the gui.
//
// The recalculations are kept apart by one recursive mutex; each sets
// `locked` for its duration. After every panorama view a free thread lets
// the loader drop the photographs the view no longer needs; after a quick
// view the photographs its refinement will read are decoded ahead once the
// camera rests.
class ViewPipeline {
 public:
  // The documents are read through the two functions, which give the open
  // panorama and the sound data (or nullptr); none of them is owned.
  ViewPipeline(gui* listener, Logger* logger, ViewState* state,
               std::function<PanoramaSession*()> panorama, std::function<SoundData*()> sound);
  ~ViewPipeline();

  // (Re)creates the three display images at the camera's size.
  void initDspImgData();
  // The view for the camera into currentPic; with composeDisplay also the
  // display image. refinement lets the loader bring the overlapping
  // photographs to the scale the view needs. Nothing without a panorama.
  void recalculatePanImage(bool composeDisplay, bool refinement);
  // The view and the sound image after a camera change.
  void refreshView();
  // The sound image for the camera, when sound data are loaded and visible.
  void recalculateSndImage();
  // Composes displayImage from currentPic and currentSoundLayer by the state
  // and hands it to the gui. Throws cv::Exception when the images differ in
  // size (a canvas size change has not settled yet).
  void recalculateDisplayImage();
  // The camera line in the status text.
  void updateInfoText();

  // Sound data are loaded and the sound layer is not transparent.
  bool soundLayerVisible() const;
  // Blocks until every free thread started so far has ended.
  void waitForFreeThreads();
  // Stops decoding ahead for the last quick view (see DecodeAhead) and waits
  // until it has stopped: before the panorama's pictures are released.
  void haltDecodeAhead();
  // Drops the view pictures (their overlap records point into the panorama
  // that is being closed) and the sound view.
  void forgetPanoramaView();
  void forgetSoundView();
  // The free threads running or finished and not yet joined.
  int trackedFreeThreads() const { return freeThreads_.tracked(); }

 private:
  // The steps every recalculation starts with: the status text, `locked`,
  // and a new view picture for the camera, which is returned, in *slot (the
  // old one released with `releaseLog` in the log, its image handed on to
  // the new one, cleared unless `clearSpare` is false).
  CamData beginView(const char* status, const char* releaseLog, std::unique_ptr<Picture>* slot,
                    bool clearSpare = true);
  // The free thread for a copy of the view just drawn.
  void startFreeThread(std::shared_ptr<Picture> viewCopy, std::shared_ptr<PicLoader> loader);

  gui* listener_;
  Logger* logger_;
  ViewState* state_;
  std::function<PanoramaSession*()> panorama_;
  std::function<SoundData*()> sound_;
  std::recursive_mutex recalcMutex_;
  std::unique_ptr<Picture> outPicture_;
  std::unique_ptr<Picture> sndPicture_;
  // The shown cell value of every pixel of currentSoundLayer (CV_32F), for
  // the threshold.
  cv::Mat soundValues_;
  // The blend of currentPic and currentSoundLayer at blendAlpha_, kept while
  // a threshold is set; invalid once either image changes.
  cv::Mat blend_;
  float blendAlpha_ = 0.0f;
  bool blendValid_ = false;
  FreeThreads freeThreads_;
  DecodeAhead decodeAhead_;  // last: ends before the rest is released
};
