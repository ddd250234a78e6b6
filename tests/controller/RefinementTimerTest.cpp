#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "ControllerTestSupport.h"

using namespace controllertest;

namespace {

// A gated recording gui whose status line can be made to fail, to see what
// the controller's threads do with an exception.
class ThrowingGui : public GatedGui {
 public:
  using GatedGui::GatedGui;
  void setStatusText(const char* text) override {
    if (armed) {
      throw std::runtime_error("status line broken");
    }
    GatedGui::setStatusText(text);
  }
  std::atomic<bool> armed{false};
};

// The controller on a 700 x 480 canvas with a settle delay of 20 ms.
class RefinementTimer : public ControllerFixture<ThrowingGui> {
 protected:
  RefinementTimer() : ControllerFixture(700, 480) {}
  void SetUp() override { settleAfter(20ms); }

  // Shows a uniform sound layer at full strength: every camera step draws.
  void showSoundLayer() {
    ASSERT_EQ(controller->openSoundData(writeOneSoundSet().c_str()), 0);
    controller->setTransValue(100);
    ASSERT_EQ(window.drawCount(), 1);
  }
};

}  // namespace

TEST_F(RefinementTimer, FiringWhileLockedRetriesUntilTheControllerIsFree) {
  settleAfter(300ms);
  ASSERT_NO_FATAL_FAILURE(showSoundLayer());
  controller->mouseScrolled(+1);  // arms the timer
  // A look-around step held while it draws keeps the controller locked.
  window.closeGate();
  controller->mouseDraged(10, 0);
  ASSERT_TRUE(window.waitForHeld());
  ASSERT_TRUE(controller->locked());
  ASSERT_TRUE(waitForEntries(kTimerLocked, 3));
  EXPECT_EQ(countEntries(kTimerRefined), 0);

  controller->mouseReleased();
  window.openGate();
  ASSERT_TRUE(waitForEntries(kTimerRefined, 1));
  ASSERT_TRUE(waitUntilSettled());
  const std::string settledLog = logText();
  std::this_thread::sleep_for(700ms);  // more than two settle delays
  EXPECT_EQ(countEntries(kTimerRefined), countEntries(settledLog, kTimerRefined))
      << "no retry after the refinement";
  EXPECT_EQ(countEntries(kTimerLocked), countEntries(settledLog, kTimerLocked));
  EXPECT_TRUE(controller->settled());
  EXPECT_FALSE(controller->locked()) << "a refinement without a panorama leaves no lock behind";
}

TEST_F(RefinementTimer, QuietTimeIsMeasuredInWholeSeconds) {
  ManualClock clock;
  controller->setSettleTiming(200ms, clock.function());

  // Still within the same second when it fires: nothing more happens.
  controller->mouseScrolled(+1);
  EXPECT_FALSE(controller->settled());
  ASSERT_TRUE(waitUntilSettled());
  std::this_thread::sleep_for(50ms);
  const std::string quiet = logText();
  EXPECT_EQ(countEntries(quiet, kTimerRefined) + countEntries(quiet, kTimerLocked) +
                countEntries(quiet, kTimerResized),
            0);

  // A second later by the clock: the refinement comes.
  controller->mouseScrolled(+1);
  clock.advance(1);
  ASSERT_TRUE(waitForEntries(kTimerRefined, 1));
  ASSERT_TRUE(waitUntilSettled());
  EXPECT_EQ(countEntries(kTimerRefined), 1);
}

TEST_F(RefinementTimer, TwoSizeChangesHalfASecondApartReCreateTheImagesOnce) {
  // Real time and the real clock: the wiring as the viewer uses it.
  settleInRealTime();

  controller->canvasSizeChanged(320, 240);
  EXPECT_TRUE(controller->locked());
  EXPECT_FALSE(controller->settled());
  EXPECT_DOUBLE_EQ(controller->camera().sensorWidth, 32.0);
  EXPECT_EQ(controller->camera().width, 320);
  EXPECT_EQ(controller->camera().height, 240);

  // Until the size has settled, input that would recalculate is refused.
  controller->mouseScrolled(1);
  controller->setTransValue(40);
  EXPECT_EQ(countEntries(kWheelLocked), 1);
  EXPECT_EQ(countEntries(kSliderLocked), 1);
  EXPECT_EQ(controller->soundAlpha(), 0.0f);
  EXPECT_EQ(controller->camera().f, kStartF);

  std::this_thread::sleep_for(500ms);
  const auto second = std::chrono::steady_clock::now();
  controller->canvasSizeChanged(400, 300);
  ASSERT_TRUE(waitForEntries(kTimerResized, 1));
  EXPECT_GE(std::chrono::steady_clock::now() - second, 1000ms);
  std::this_thread::sleep_for(1500ms);

  const std::string log = logText();
  EXPECT_EQ(countEntries(log, kTimerResized), 1) << "the images are re-created once";
  EXPECT_EQ(countEntries(log, kTimerRefined), 0) << "no refinement pass follows by itself";
  EXPECT_FALSE(controller->locked());
  EXPECT_TRUE(controller->settled());
  EXPECT_EQ(controller->displayImage().size(), cv::Size(400, 300));

  // The sound layer composes at the new size.
  ASSERT_EQ(controller->openSoundData(writeOneSoundSet().c_str()), 0);
  controller->setTransValue(100);
  EXPECT_EQ(window.lastImage().size(), cv::Size(400, 300));
  EXPECT_TRUE(allPixels(window.lastImage(), 128, 255, 128));
}

TEST_F(RefinementTimer, SettledResizeShowsTheSoundLayerAtTheNewSize) {
  ASSERT_NO_FATAL_FAILURE(showSoundLayer());

  controller->canvasSizeChanged(200, 100);
  ASSERT_TRUE(window.waitForDraws(2, 20000));
  EXPECT_EQ(window.lastImage().size(), cv::Size(200, 100));
  EXPECT_TRUE(allPixels(window.lastImage(), 128, 255, 128));
  EXPECT_TRUE(waitUntilSettled());
  EXPECT_FALSE(controller->locked());
  EXPECT_EQ(countEntries(kTimerResized), 1);
}

TEST_F(RefinementTimer, ExceptionInTheTimerIsLoggedAndTheControllerGoesOn) {
  ASSERT_NO_FATAL_FAILURE(showSoundLayer());

  window.armed = true;
  controller->canvasSizeChanged(200, 100);
  ASSERT_TRUE(waitFor([&] {
    return logText().find("\tERR\tPanController::onSleepThreadEnded, general exception: status line broken\n") !=
           std::string::npos;
  }));
  ASSERT_TRUE(waitUntilSettled());
  window.armed = false;
  EXPECT_FALSE(controller->locked());

  // Neither the wheel nor the slider is refused afterwards.
  controller->mouseScrolled(+1);
  EXPECT_EQ(countEntries(kWheelLocked), 0);
  EXPECT_NEAR(controller->camera().f, 51.139, 1e-3) << "one step on the 48 mm wide sensor of 200 x 100";
  const int draws = window.drawCount();
  controller->setTransValue(50);
  EXPECT_FLOAT_EQ(controller->soundAlpha(), 0.5f);
  EXPECT_EQ(countEntries(kSliderLocked), 0);
  EXPECT_EQ(window.drawCount(), draws + 1);
  EXPECT_EQ(window.lastImage().size(), cv::Size(200, 100));
}

TEST_F(RefinementTimer, ExceptionInALookAroundStepIsLoggedAndUnlocks) {
  settleAfter(std::chrono::hours(1));
  ASSERT_NO_FATAL_FAILURE(showSoundLayer());

  window.armed = true;
  controller->mouseDraged(20, 0);
  ASSERT_TRUE(waitFor([&] {
    return logText().find("\tERR\tPanController::updateLookAround, general exception: status line broken\n") !=
           std::string::npos;
  }));
  controller->mouseReleased();
  controller->close();
  EXPECT_FALSE(controller->locked());
}
