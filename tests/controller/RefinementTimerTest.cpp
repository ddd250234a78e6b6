#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "ControllerTestSupport.h"

using namespace controllertest;

namespace {

const char* const kLockedRetry = "A Sleep Thread ended while the PanController was locked";
const char* const kRefinement = "A Sleep Thread ended and caused a refinement of the pan Image";
const char* const kResized = "A sleep thread ended long enough after the canvas was resized";

// A recording gui whose status line can be made to fail, to see what the
// controller's threads do with an exception.
class ThrowingGui : public RecordingGui {
 public:
  using RecordingGui::RecordingGui;
  void setStatusText(const char* text) override {
    if (armed) {
      throw std::runtime_error("status line broken");
    }
    RecordingGui::setStatusText(text);
  }
  std::atomic<bool> armed{false};
};

class RefinementTimer : public testing::Test {
 protected:
  void SetUp() override { makeTimerFast(*controller, 20ms); }

  TempDir dir;
  ThrowingGui window{700, 480};
  std::unique_ptr<PanController> controller =
      std::make_unique<PanController>(&window, 50.0, M_PI / 2, 0.0);
};

}  // namespace

TEST_F(RefinementTimer, FiringWhileLockedRetriesUntilTheControllerIsFree) {
  controller->locked = true;
  controller->restartSleepThread();
  ASSERT_TRUE(waitForEntries(kLockedRetry, 3));
  EXPECT_EQ(countEntries(kRefinement), 0);

  controller->locked = false;
  ASSERT_TRUE(waitForEntries(kRefinement, 1));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(countEntries(kRefinement), 1) << "no retry after the refinement";
  EXPECT_FALSE(controller->sleepThread->pending());
  EXPECT_FALSE(controller->locked.load()) << "a refinement without a panorama leaves no lock behind";
}

TEST_F(RefinementTimer, QuietTimeIsMeasuredInWholeSeconds) {
  ManualClock clock;
  controller->clock = clock.function();
  controller->settleDelay = 200ms;

  // Still within the same second when it fires: nothing more happens.
  controller->restartSleepThread();
  ASSERT_TRUE(waitFor([&] { return !controller->sleepThread->pending() && !controller->sleepThread->running(); }));
  std::this_thread::sleep_for(50ms);
  const std::string quiet = logText();
  EXPECT_EQ(countEntries(quiet, kRefinement) + countEntries(quiet, kLockedRetry), 0);

  // A second later by the clock: the refinement comes.
  controller->restartSleepThread();
  clock.advance(1);
  ASSERT_TRUE(waitForEntries(kRefinement, 1));
  EXPECT_EQ(controller->lastChange.load(), 1000);
}

TEST_F(RefinementTimer, TwoSizeChangesHalfASecondApartReCreateTheImagesOnce) {
  // Real time and the real clock: the wiring as the viewer uses it.
  controller->settleDelay = std::chrono::milliseconds(1000);
  controller->clock = [] { return std::time(nullptr); };

  controller->canvasSizeChanged(320, 240);
  EXPECT_TRUE(controller->locked.load());
  EXPECT_TRUE(controller->canvasResized.load());
  EXPECT_DOUBLE_EQ(controller->camera().sensorWidth, 32.0);
  EXPECT_NEAR(controller->dragScale.load(), 339.4113f, 1e-3);

  // Until the size has settled, input that would recalculate is refused.
  controller->mouseScrolled(1);
  controller->setTransValue(40);
  EXPECT_EQ(countEntries("PanController::mouseScrolled, LOCKED"), 1);
  EXPECT_EQ(countEntries("PanController::setTransValue, LOCKED"), 1);
  EXPECT_EQ(controller->dspParams->soundAlpha.load(), 0.0f);

  std::this_thread::sleep_for(500ms);
  const auto second = std::chrono::steady_clock::now();
  controller->canvasSizeChanged(400, 300);
  ASSERT_TRUE(waitForEntries(kResized, 1));
  EXPECT_GE(std::chrono::steady_clock::now() - second, 1000ms);
  std::this_thread::sleep_for(1500ms);

  const std::string log = logText();
  EXPECT_EQ(countEntries(log, kResized), 1);
  EXPECT_EQ(countEntries(log, "PanController::initDspImgData()"), 2) << "construction and one re-creation";
  EXPECT_EQ(countEntries(log, kRefinement), 0) << "no refinement pass follows by itself";
  EXPECT_FALSE(controller->locked.load());
  EXPECT_FALSE(controller->canvasResized.load());
  for (const cv::Mat* image : {&controller->dspParams->currentPic, &controller->dspParams->currentSoundLayer,
                               &controller->dspParams->displayImage}) {
    EXPECT_EQ(image->size(), cv::Size(400, 300));
  }
}

TEST_F(RefinementTimer, SettledResizeShowsTheSoundLayerAtTheNewSize) {
  const std::string sound = writeSoundDirectory(dir.path() / "sound", {{"Pegel", 4, 2, "0.5000"}});
  controller->openSoundData(sound);
  controller->setTransValue(100);
  ASSERT_EQ(window.drawCount(), 1);

  controller->canvasSizeChanged(200, 100);
  ASSERT_TRUE(window.waitForDraws(2, 20000));
  EXPECT_EQ(window.lastImage().size(), cv::Size(200, 100));
  EXPECT_TRUE(allPixels(window.lastImage(), 128, 255, 128));
  EXPECT_TRUE(waitFor([&] { return !controller->locked.load(); }));
}

TEST_F(RefinementTimer, ExceptionInTheTimerIsLoggedAndTheControllerGoesOn) {
  const std::string sound = writeSoundDirectory(dir.path() / "sound", {{"Pegel", 4, 2, "0.5000"}});
  controller->openSoundData(sound);
  controller->setTransValue(100);

  window.armed = true;
  controller->canvasSizeChanged(200, 100);
  ASSERT_TRUE(waitFor([&] {
    return logText().find("\tERR\tPanController::onSleepThreadEnded, general exception: status line broken\n") !=
           std::string::npos;
  }));
  ASSERT_TRUE(waitFor([&] { return !controller->sleepThread->running(); }));
  window.armed = false;
  EXPECT_FALSE(controller->locked.load());
  EXPECT_FALSE(controller->scrolling.load());

  controller->setTransValue(50);
  EXPECT_EQ(countEntries("PanController::setTransValue, not locked, set new sound alpha"), 2);
  EXPECT_EQ(window.lastImage().size(), cv::Size(200, 100));
}

TEST_F(RefinementTimer, ExceptionInALookAroundStepIsLoggedAndUnlocks) {
  controller->settleDelay = std::chrono::hours(1);
  const std::string sound = writeSoundDirectory(dir.path() / "sound", {{"Pegel", 4, 2, "0.5000"}});
  controller->openSoundData(sound);
  controller->setTransValue(100);

  window.armed = true;
  controller->mouseDraged(20, 0);
  ASSERT_TRUE(waitFor([&] {
    return logText().find("\tERR\tPanController::updateLookAround, general exception: status line broken\n") !=
           std::string::npos;
  }));
  controller->mouseReleased();
  controller->close();
  EXPECT_FALSE(controller->locked.load());
}
