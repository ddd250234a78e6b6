#pragma once

#include <opencv2/core.hpp>

// What the controller calls on the window. Called from the GUI thread and from
// the controller's worker threads; implementations carry widget changes into
// the GUI thread. Texts belong to the caller and are valid during the call.
// Not deleted through this interface (no virtual destructor).
class gui {
 public:
  // Takes its own copy of `image` before returning.
  virtual void drawImage(const cv::Mat& image) = 0;
  virtual int getCanvasHeight() = 0;
  virtual int getCanvasWidth() = 0;
  virtual void setInfoText(const char* text) = 0;
  virtual void setStatusText(const char* text) = 0;
  // A German error text, shown as a modal message.
  virtual void showErrorMessage(const char* text) = 0;
  // The highest sound data set index (number of sets - 1).
  virtual void setRepMaximum(int maximum) = 0;
  virtual int getTransMaximum() = 0;
  virtual void setSoundControlsEnabled(bool enabled) = 0;
  // A panorama open in the background has built `done` of its `total`
  // photographs' previews (done = 0 when they start). From the decode
  // threads, possibly several at once: a count may arrive after a larger one.
  virtual void showOpenProgress(int done, int total) = 0;
  // The background open's work is over (read, refused or cancelled); from its
  // worker thread. The window hides its progress and calls
  // guiListener::finishOpen from the GUI thread, which applies the result;
  // it must not wait for anything here.
  virtual void openProgressEnded() = 0;
  // The window's panorama open of `path` has ended, opened or refused (its
  // message already shown). May come from any thread. Does nothing unless
  // overridden.
  virtual void panoramaOpenEnded(const char* path, bool opened) {
    (void)path;
    (void)opened;
  }

 protected:
  ~gui() = default;
};
