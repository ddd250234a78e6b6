#include "controller/DecodeAhead.h"

#include <utility>

#include "controller/Guarded.h"
#include "panorama/PicLoader.h"
#include "panorama/Picture.h"

DecodeAhead::DecodeAhead(Logger* logger)
    : logger_(logger), timer_(std::make_unique<SettleTimer>([this] { run(); })) {}

DecodeAhead::~DecodeAhead() { halt(); }

void DecodeAhead::schedule(std::shared_ptr<Picture> viewCopy, std::shared_ptr<PicLoader> loader) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    view_ = std::move(viewCopy);
    loader_ = std::move(loader);
    stop_ = true;  // a running decode serves an older view
  }
  timer_->restart(kCalm);
}

void DecodeAhead::finish() {
  timer_->cancel();
  std::lock_guard<std::mutex> lock(mutex_);
  view_.reset();
  loader_.reset();
}

void DecodeAhead::halt() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  finish();
}

void DecodeAhead::run() {
  std::shared_ptr<Picture> view;
  std::shared_ptr<PicLoader> loader;
  {
    // Taken together with clearing the stop: a later schedule sets it again.
    std::lock_guard<std::mutex> lock(mutex_);
    view = std::move(view_);
    loader = std::move(loader_);
    stop_ = false;
  }
  if (view && loader) {
    guarded(logger_, "PanController::decodeAhead", [&] { loader->decodeAhead(view.get(), stop_); });
  }
}
