#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "ControllerTestSupport.h"

using namespace controllertest;

namespace {

class Navigation : public testing::Test {
 protected:
  // The settle timer stays out of the way unless a test shortens it.
  void SetUp() override { makeTimerFast(*controller, std::chrono::hours(1)); }

  TempDir dir;
  RecordingGui window{700, 480};
  std::unique_ptr<PanController> controller =
      std::make_unique<PanController>(&window, 50.0, M_PI / 2, 0.0);
};

// The azimuths of the complete "setCameraData" entries, in order.
std::vector<double> loggedAzimuths(const std::string& log) {
  std::vector<double> azimuths;
  const std::string key = "\tPanController::setCameraData, azimuth=";
  for (std::size_t at = log.find(key); at != std::string::npos; at = log.find(key, at + 1)) {
    if (log.find('\n', at) == std::string::npos) {
      break;  // still being written
    }
    azimuths.push_back(std::strtod(log.c_str() + at + key.size(), nullptr));
  }
  return azimuths;
}

struct CameraLine {
  double azimuth;
  double altitude;
  double f;
  const char* line;
};

}  // namespace

TEST_F(Navigation, StatusLineShowsTheCameraInDegreesWithoutWrapping) {
  for (const CameraLine& c : {
           CameraLine{0.0, M_PI / 2, 50.0, "Focallength: 50.00, Azimuth: 0.00, Altitude: 90.00"},
           CameraLine{M_PI, M_PI / 4, 50.0, "Focallength: 50.00, Azimuth: 180.00, Altitude: 45.00"},
           CameraLine{-M_PI / 2, M_PI / 2, 18.5, "Focallength: 18.50, Azimuth: -90.00, Altitude: 90.00"},
           CameraLine{5 * M_PI, 0.0, 50.0, "Focallength: 50.00, Azimuth: 900.00, Altitude: 0.00"},
       }) {
    controller->setCameraData(c.azimuth, c.altitude, c.f);
    controller->updateInfoText();
    EXPECT_EQ(window.statusTexts().back(), c.line);
  }
  EXPECT_EQ(countEntries("PanController::setCameraData, azimuth=3.14159, altitude=0.78540, f=50.00000"), 1);
}

TEST_F(Navigation, WheelStepChangesTheHalfFieldOfViewByOneDegree) {
  controller->mouseScrolled(+1);
  EXPECT_NEAR(controller->camData->f, 51.435, 1e-3);
  controller->mouseScrolled(-1);
  EXPECT_NEAR(controller->camData->f, 50.0, 1e-9);
  controller->mouseScrolled(-1);
  EXPECT_NEAR(controller->camData->f, 48.635, 1e-3);
  EXPECT_EQ(countEntries("PanController::mouseScrolled, not locked, set new FocalLength"), 3);
  EXPECT_FALSE(controller->scrolling.load());
}

TEST_F(Navigation, WheelStepIsRefusedWhileLockedAndAtTheFieldOfViewLimits) {
  struct Refusal {
    double f;
    int step;
    bool locked;
    const char* entry;
  };
  // Half angles within a step of 0 and of 90 degrees (35 mm sensor width).
  const double nearZero = 35.0 / (2.0 * std::tan(0.004));
  const double nearRight = 35.0 / (2.0 * std::tan(M_PI / 2 - 0.004));
  for (const Refusal& r : {
           Refusal{50.0, +1, true, "PanController::mouseScrolled, LOCKED"},
           Refusal{nearZero, +1, false, "PanController::mouseScrolled, field of view limit reached"},
           Refusal{nearRight, -1, false, "PanController::mouseScrolled, field of view limit reached"},
       }) {
    controller->camData->f = r.f;
    controller->locked = r.locked;
    const int before = countEntries(r.entry);
    controller->mouseScrolled(r.step);
    EXPECT_EQ(countEntries(r.entry), before + 1) << r.entry;
    EXPECT_EQ(controller->camData->f, r.f) << "the step is dropped";
    EXPECT_TRUE(std::isfinite(controller->camData->f));
    controller->locked = false;
  }
  EXPECT_EQ(countEntries("PanController::mouseScrolled, not locked, set new FocalLength"), 0);
  // The way back from a limit is open.
  controller->mouseScrolled(+1);
  EXPECT_GT(controller->camData->f, nearRight);
  EXPECT_LT(controller->camData->f, 50.0);
  EXPECT_EQ(countEntries("PanController::mouseScrolled, not locked, set new FocalLength"), 1);
}

TEST_F(Navigation, DragVelocitiesFollowTheDistanceToThePressPoint) {
  controller->mouseDraged(100, 0);
  EXPECT_NEAR(controller->xVel.load(), 1.178511f, 1e-6);
  EXPECT_EQ(controller->yVel.load(), 0.0f);
  EXPECT_EQ(countEntries("PanController::mouseDraged, xVel: 1.178511 yVel: 0.000000"), 1);
  EXPECT_EQ(countEntries("PanController::mouseDraged start lookAround"), 1);

  // Back at the press point: nothing changes and nothing is logged.
  controller->mouseDraged(0, 0);
  EXPECT_NEAR(controller->xVel.load(), 1.178511f, 1e-6);

  // While the loop runs, a drag only changes the velocities.
  controller->mouseDraged(-30, 40);
  EXPECT_NEAR(controller->xVel.load(), 8.0f * -30 / 678.8225f, 1e-5);
  EXPECT_NEAR(controller->yVel.load(), 8.0f * 40 / 678.8225f, 1e-5);
  EXPECT_EQ(countEntries("PanController::mouseDraged start lookAround"), 1);

  controller->mouseReleased();
  EXPECT_EQ(controller->xVel.load(), 0.0f);
  EXPECT_EQ(controller->yVel.load(), 0.0f);
  EXPECT_FALSE(controller->lookAround.load());
  EXPECT_EQ(countEntries("PanController::mouseReleased"), 1);
  EXPECT_EQ(countEntries("PanController::stopLookAround"), 1);
}

TEST_F(Navigation, LookAroundStepAddsVelocityTimesHalfDegreeAndLeavesTheLockClear) {
  controller->mouseDraged(100, 0);  // canvas 480 pixels high
  ASSERT_TRUE(waitForEntries(
      "PanController::updateLookAround lookAround is true and locked is false, set new CamData", 60));
  // The steps up to now; the one running at the release may see the
  // velocities already cleared.
  const std::vector<double> azimuths = loggedAzimuths(logText());
  controller->mouseReleased();
  controller->close();  // joins the loop

  // Nothing was open, so no recalculation cleared `locked`: the step did.
  EXPECT_FALSE(controller->locked.load());
  ASSERT_GE(azimuths.size(), 60u);
  for (std::size_t i = 1; i < azimuths.size(); ++i) {
    ASSERT_NEAR(azimuths[i] - azimuths[i - 1], 0.0102845, 1.01e-5) << "step " << i;
  }
  const double mean = (azimuths.back() - azimuths.front()) / (azimuths.size() - 1);
  EXPECT_NEAR(mean, 0.0102845, 2e-7);
  EXPECT_NEAR(azimuths.front(), 0.01028, 1e-5) << "the first step starts from azimuth 0";
}

TEST_F(Navigation, ReleasedLookAroundEndsAndTheWheelWorksAgain) {
  controller->mouseDraged(0, -50);
  ASSERT_TRUE(waitForEntries(
      "PanController::updateLookAround lookAround is true and locked is false, set new CamData", 5));
  controller->mouseReleased();
  // The loop sees the release at its next test; after that nothing locks.
  ASSERT_TRUE(waitFor([&] {
    const int steps = countEntries(
        "PanController::updateLookAround lookAround is true and locked is false, set new CamData");
    std::this_thread::sleep_for(30ms);
    return !controller->locked.load() &&
           steps == countEntries("PanController::updateLookAround lookAround is true and locked is "
                                 "false, set new CamData");
  }));
  EXPECT_LT(controller->camera().altitude, M_PI / 2) << "a pointer below the press point lowers the view";
  controller->mouseScrolled(+1);
  EXPECT_EQ(countEntries("PanController::mouseScrolled, not locked, set new FocalLength"), 1);
}

TEST_F(Navigation, CloseDuringLookAroundAndPendingTimerEndsEveryThread) {
  controller->mouseDraged(100, 0);
  ASSERT_TRUE(waitForEntries(
      "PanController::updateLookAround lookAround is true and locked is false, set new CamData", 10));
  EXPECT_TRUE(controller->sleepThread->pending());

  controller->close();
  const std::string closed = logText();
  ASSERT_GE(closed.size(), 30u);
  EXPECT_EQ(closed.substr(closed.size() - 31), "\tLogger::~Logger I'll be back!\n");
  EXPECT_EQ(countEntries(closed, "PanController::close"), 1);

  // No thread writes afterwards, and every later call is ignored.
  std::this_thread::sleep_for(50ms);
  controller->mouseDraged(10, 10);
  controller->mouseScrolled(1);
  controller->canvasSizeChanged(300, 200);
  controller->setTransValue(50);
  controller->setRepValue(1);
  controller->mouseReleased();
  controller->openPanorama(std::string("missing.xml"));
  controller->openSoundData(std::string("missing"));
  controller->close();
  EXPECT_EQ(logText(), closed);
}

TEST(ControllerLifetime, DestructorClosesWhenCloseWasNotCalled) {
  TempDir dir;
  RecordingGui window;
  {
    PanController controller(&window, 50.0, M_PI / 2, 0.0);
    controller.settleDelay = std::chrono::hours(1);
    controller.mouseScrolled(1);  // leaves a pending timer
  }
  const std::string log = logText();
  EXPECT_EQ(countEntries(log, "PanController::close"), 1);
  EXPECT_EQ(log.substr(log.size() - 31), "\tLogger::~Logger I'll be back!\n");
}
