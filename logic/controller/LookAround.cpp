#include "controller/LookAround.h"

#include "base/Logger.h"
#include "base/TextFormat.h"
#include "controller/Guarded.h"
#include "controller/Navigation.h"
#include "controller/StepLock.h"
#include "controller/ViewState.h"

LookAround::LookAround(Logger* logger, ViewState* state,
                       std::function<void(double, double, double)> step,
                       std::function<void()> settle)
    : logger_(logger), state_(state), step_(std::move(step)), settle_(std::move(settle)) {
  dragScale_ = dragScaleFor(state_->camera().height);
}

LookAround::~LookAround() { stopThread(); }

void LookAround::setCanvasHeight(int height) { dragScale_ = dragScaleFor(height); }

void LookAround::drag(int dx, int dy) {
  float xVel = 0.0f;
  float yVel = 0.0f;
  if (!dragVelocity(dx, dy, dragScale_.load(), &xVel, &yVel)) {
    return;
  }
  xVel_ = xVel;
  yVel_ = yVel;
  logger_->log(formatText("PanController::mouseDraged, xVel: %f yVel: %f",
                          static_cast<double>(xVel), static_cast<double>(yVel)));
  if (!lookAround_ && !state_->locked) {
    logger_->log("PanController::mouseDraged start lookAround");
    // A loop that ended earlier may still be restarting the timer.
    if (thread_.joinable()) {
      thread_.join();
    }
    // Set here, with the start, so that the next drag event cannot start a
    // second loop.
    lookAround_ = true;
    thread_ = std::thread([this] { run(); });
  }
}

void LookAround::release() {
  logger_->log("PanController::stopLookAround");
  yVel_ = 0.0f;
  lookAround_ = false;
  xVel_ = 0.0f;
}

void LookAround::stopThread() {
  yVel_ = 0.0f;
  lookAround_ = false;
  xVel_ = 0.0f;
  if (thread_.joinable()) {
    thread_.join();
  }
}

void LookAround::run() {
  logger_->log("PanController::startLookAround");
  // `lookAround_` was set when the thread was started: setting it here could
  // undo a stop that came before this thread ran.
  guarded(logger_, "PanController::updateLookAround", [this] { loop(); });
  settle_();
}

void LookAround::loop() {
  while (lookAround_) {
    if (state_->locked.exchange(true)) {
      break;
    }
    StepLock step(state_->locked, state_->recalcRuns);
    logger_->log(
        "PanController::updateLookAround lookAround is true and locked is false, set new CamData");
    const CamData cam = state_->camera();
    step_(cam.azimuth + static_cast<double>(xVel_.load() * kAngleStep),
          cam.altitude + static_cast<double>(yVel_.load() * kAngleStep), cam.f);
    settle_();
  }
}
