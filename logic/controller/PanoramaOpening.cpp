#include "controller/PanoramaOpening.h"

#include <exception>
#include <utility>

#include "base/Logger.h"
#include "controller/PanoramaSession.h"

PanoramaOpening::PanoramaOpening(std::string path, Logger* logger, PreviewSetup setup,
                                 std::function<void(int, int)> changed,
                                 std::function<void()> ended)
    : path_(std::move(path)), logger_(logger), setup_(std::move(setup)), ended_(std::move(ended)) {
  progress_.changed = std::move(changed);
  thread_ = std::thread([this] { run(); });
}

PanoramaOpening::~PanoramaOpening() {
  cancel();
  wait();
}

void PanoramaOpening::wait() {
  if (thread_.joinable()) {
    thread_.join();
  }
}

std::unique_ptr<PanoramaSession> PanoramaOpening::takeSession() { return std::move(session_); }

void PanoramaOpening::run() {
  logger_->log("PanController::openPanorama picManager->openPanorama");
  try {
    session_ = PanoramaSession::read(path_.c_str(), &reason_, setup_, &detail_, &progress_);
    if (session_ && !progress_.cancel) {
      logger_->log("PanController::openPanorama panorama has been opened sucessfully ");
      session_->prepare(logger_);
    }
  } catch (const std::exception& e) {
    // Out of memory for the overlaps, say: the open is refused like a bad file.
    logger_->logError("PanController::openPanorama, preparing the panorama", e.what());
    session_.reset();
    reason_ = std::string("Das Panorama kann nicht vorbereitet werden (") + e.what() + ").";
  }
  if (progress_.cancel) {
    session_.reset();
  }
  finished_ = true;
  if (ended_) {
    ended_();
  }
}
