#include "controller/Refinement.h"

#include "base/Logger.h"
#include "controller/Guarded.h"
#include "controller/StepLock.h"
#include "controller/ViewPipeline.h"
#include "controller/ViewState.h"

Refinement::Refinement(Logger* logger, ViewState* state, ViewPipeline* pipeline)
    : logger_(logger), state_(state), pipeline_(pipeline) {
  clock_ = [] { return std::time(nullptr); };
  lastChange_ = clock_();
  timer_ = std::make_unique<SettleTimer>(
      [this] { guarded(logger_, "PanController::onSleepThreadEnded", [this] { onFired(); }); });
}

Refinement::~Refinement() { stop(); }

void Refinement::setTiming(std::chrono::milliseconds delay, std::function<std::time_t()> clock) {
  delay_ = delay;
  clock_ = std::move(clock);
}

void Refinement::restart() {
  lastChange_ = clock_();
  timer_->restart(delay_);
}

void Refinement::cancel() { timer_->cancel(); }

void Refinement::stop() { timer_->stop(); }

void Refinement::onFired() {
  // The timer is no longer pending once this runs: a restart arms a new one.
  const double quiet = std::difftime(clock_(), lastChange_.load());
  if (quiet < 1.0) {
    return;
  }
  // Taken before the images are re-created, so that a size change arriving
  // meanwhile sets it again and is finished by its own timer.
  if (state_->canvasResized.exchange(false)) {
    logger_->log("A sleep thread ended long enough after the canvas was resized");
    pipeline_->initDspImgData();
    state_->locked = false;
    pipeline_->refreshView();
  } else if (!state_->locked.exchange(true)) {
    StepLock step(state_->locked, state_->recalcRuns);
    logger_->log("A Sleep Thread ended and caused a refinement of the pan Image");
    pipeline_->recalculatePanImage(true, true);
  } else {
    logger_->log("A Sleep Thread ended while the PanController was locked");
    restart();
  }
}
