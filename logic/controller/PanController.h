#pragma once

#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "camera/CamData.h"
#include "camera/Frame.h"
#include "controller/gui.h"
#include "controller/guiListener.h"

class Documents;
class Logger;
class LookAround;
class PicManager;
class Refinement;
class ViewPipeline;
class ViewState;
struct SoundPeak;

// The logic side of the viewer and the one object the window talks to: it
// owns the open panorama, the sound data, the camera and the display images,
// answers each user action coming through guiListener and reports to the
// window through gui. Its parts do the work: Documents (opening and closing),
// ViewPipeline (views, sound image, display), LookAround and Refinement (the
// look-around thread and the settle timer).
//
// Threads: the GUI thread calls every guiListener operation; one look-around
// thread turns the camera while the mouse is dragged; the settle timer
// computes the refined view a settle delay after the last change; a short
// free thread after every view recalculation lets the loader drop pictures
// the view no longer needs; the window's panorama open reads on its own
// thread (with the decode threads of the previews) while the others rest and
// `locked` refuses input. All of them are owned and joined: opening,
// closing and close() first stop the look-around, cancel the timer (waiting
// for a running firing) and wait for the free threads; close() first cancels
// a running open and waits for it.
class PanController : public guiListener {
 public:
  // Starts with the camera (f in millimetres, angles in radians); an unusable
  // one (isUsableCamera) is logged and the default camera kept.
  PanController(gui* listener, double f, double altitude, double azimuth);
  // close() unless it has run.
  ~PanController();
  PanController(const PanController&) = delete;
  PanController& operator=(const PanController&) = delete;

  // guiListener
  void mouseScrolled(int step) override;
  // The window's open: startOpenPanorama of Documents, in the background
  // (see guiListener); a refusal before reading ends it at once with
  // gui::panoramaOpenEnded(path, false).
  void openPanorama(const std::string& path) override;
  void cancelOpen() override;
  // Applies an ended open (Documents::finishOpen), then a canvas size change
  // that came meanwhile, and tells gui::panoramaOpenEnded. Nothing while no
  // open has ended.
  void finishOpen() override;
  void openSoundData(const std::string& path) override;
  void setTransValue(int value) override;
  void setRepValue(int index) override;
  void mouseDraged(int dx, int dy) override;
  void mouseReleased() override;
  void canvasSizeChanged(int width, int height) override;
  // Ends every thread of the controller, releases the panorama and the sound
  // data and deletes the logger. Later calls of any operation do nothing.
  void close() override;
  // Keyboard and drag navigation: each a camera step like one of the
  // look-around (refused while `locked`, "PanController::<name>, LOCKED" in
  // the log; else the quick view and a restarted settle timer). resetCamera
  // returns to the camera the controller started with; grabAt remembers the
  // world direction under a view position for dragGrabbedTo (until
  // mouseReleased); a position the grabbed point cannot reach is ignored.
  void turnBy(double dAzimuth, double dAltitude) override;
  void resetCamera() override;
  void grabAt(double column, double row) override;
  void dragGrabbedTo(double column, double row) override;

  // --- Reading the sound map -------------------------------------------
  // readPointerAt for the camera now and the shown set.
  PointerReading readPointer(int column, int row) const override;
  // setThresholdValue(percent / 100).
  void setThreshold(int percent) override;
  void setLegendVisible(bool visible) override;
  // Turns the camera to the shown set's loudest direction (its cell centre)
  // with the focal length kept and the azimuth equivalent nearest the
  // current one, shows the quick view and restarts the settle timer. Refused
  // ("PanController::turnToPeak, LOCKED" in the log) while locked, like the
  // wheel; nothing without sound data.
  void turnToPeak() override;
  // Cells of the shown set below `threshold` (0 ... 1; clamped, NaN
  // ignored) are not drawn; the display is composed again unless locked
  // (then the settle timer's refined view shows it).
  void setThresholdValue(double threshold);
  // The peak marker is drawn into the view while a sound layer is visible.
  void setPeakMarkerVisible(bool visible);
  float soundThreshold() const;
  // The shown set's loudest direction; false without sound data.
  bool soundPeak(SoundPeak* peak) const;
  // The shown set's name ("" without sound data).
  std::string soundSetName() const;

  // Opens synchronously (the tools' and tests' open: returns once the
  // panorama is shown or refused; the window's opens in the background).
  // 0 opened, -1 not a panorama, -3 missing, unreadable or not a regular
  // file (a named pipe is never opened), -4 while a background open runs.
  // Every refusal shows its fixed German message and, as a second
  // paragraph, the reason ("message\n\nreason"). The new panorama replaces
  // the open one only once it has been read: after a failure the open
  // panorama stays open. gui::panoramaOpenEnded is not called.
  int openPanorama(const char* path);
  // 0 loaded, else the sound data's error code (-1 while a panorama open
  // runs). As with panoramas, the loaded sets are replaced only by a
  // directory that loads.
  int openSoundData(const char* path);

  // Turns the camera to (azimuth, altitude) in radians with the focal length
  // f in millimetres and shows the quick view (no settle timer). A camera
  // that is not usable (isUsableCamera: a NaN or infinity, an angle beyond
  // kMaxAngleDegrees, no field of view strictly between 0 and 180 degrees)
  // is logged and ignored: the camera and the view stay as they are.
  void setCameraData(double azimuth, double altitude, double f);
  // The refined view of the camera now, as the settle timer computes it.
  // It first waits for the previous view's release of photographs, which
  // holds the loader: a refinement that found the loader busy would load
  // nothing (the settle timer's second of calm gives the same).
  void refine();

  // What a caller can observe.
  CamData camera() const;
  // Input that would start a recalculation is refused now.
  bool locked() const;
  // A background open has started and its result is not yet applied
  // (`locked` is set meanwhile).
  bool opening() const;
  // Nothing runs or is pending: no open, no recalculation, no canvas size
  // change, no look-around, no settle timer.
  bool settled() const;
  // The open panorama's pictures, or nullptr.
  const PicManager* panorama() const;
  std::string panoramaPath() const;
  bool soundLoaded() const;
  int soundSetCount() const;
  int soundLayer() const;
  float soundAlpha() const;
  // A copy of the last composed display image.
  cv::Mat displayImage() const;

  // How long the camera must be still before the refined view is computed,
  // and the clock in whole seconds that measures the quiet time (std::time
  // by default; called from several threads). Set before the controller is
  // used (tests shorten the delay).
  void setSettleTiming(std::chrono::milliseconds delay, std::function<std::time_t()> clock);

 private:
  // Stops the look-around and joins its thread, cancels a pending timer and
  // waits for a running one, and waits for the free threads. A pending canvas
  // size change is applied (it would otherwise keep `locked` set); returns
  // true when that happened.
  bool quiesce();
  void restartSleepThread();
  // Composes the display again for a changed sound map option (log entry
  // `what`), or leaves that to the settle timer while locked.
  void recomposeSoundMap(const char* what);
  // One keyboard or drag step: takes `locked` (or logs the refusal under
  // `context`), lets `target` turn a copy of the camera (false: no step) and
  // shows it. Defined beside its callers.
  template <typename Target>
  void stepCamera(const char* context, Target target);

  gui* listener_;
  std::unique_ptr<Logger> logger_;
  std::unique_ptr<ViewState> state_;
  std::unique_ptr<Documents> documents_;
  std::unique_ptr<ViewPipeline> pipeline_;
  std::unique_ptr<Refinement> refinement_;
  std::unique_ptr<LookAround> lookAround_;
  bool closed_ = false;
  // Keyboard and drag navigation (GUI thread only).
  CamData startCamera_;
  bool grabbing_ = false;
  Vec3 grabbed_;
  // The last canvas size that came during an open (0 x 0: none).
  int pendingWidth_ = 0;
  int pendingHeight_ = 0;
};
