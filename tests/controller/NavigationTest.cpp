#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "ControllerTestSupport.h"
#include "controller/Navigation.h"

using namespace controllertest;

namespace {

// The turn of one look-around step for a drag of (dx, dy) on a canvas
// `height` pixels high, as the controller computes it: (azimuth, altitude)
// in radians.
std::pair<double, double> stepFor(int dx, int dy, int height = 480) {
  float xVel = 0.0f;
  float yVel = 0.0f;
  dragVelocity(dx, dy, dragScaleFor(height), &xVel, &yVel);
  return {static_cast<double>(xVel * kAngleStep), static_cast<double>(yVel * kAngleStep)};
}

// The controller on a 700 x 480 canvas; the settle timer stays out of the way
// (an hour), so that look-around steps are never interrupted by it.
class Navigation : public ControllerFixture<> {
 protected:
  Navigation() : ControllerFixture(700, 480) {}

  // Waits until no recalculation runs and the camera keeps its direction for
  // a while: a released look-around has ended.
  bool waitUntilStill() {
    return waitFor([&] {
      const CamData before = controller->camera();
      const bool free = !controller->locked();
      std::this_thread::sleep_for(30ms);
      const CamData after = controller->camera();
      return free && !controller->locked() && after.azimuth == before.azimuth &&
             after.altitude == before.altitude;
    });
  }
};

// A GatedGui window of 700 x 480 showing a uniform sound layer at full
// strength and nothing else: every look-around step draws once, so the test
// can hold the controller after each step.
class SteppedLookAround : public ControllerFixture<GatedGui> {
 protected:
  SteppedLookAround() : ControllerFixture(700, 480) {}
  void SetUp() override {
    ASSERT_EQ(controller->openSoundData(sound.c_str()), 0);
    controller->setTransValue(100);
    ASSERT_EQ(window.drawCount(), 1);
  }

  const std::string sound = writeOneSoundSet();
};

struct CameraLine {
  double azimuth;
  double altitude;
  double f;
  const char* line;
};

}  // namespace

TEST_F(Navigation, StatusLineShowsTheCameraInDegreesWithoutWrapping) {
  // The status line follows every image shown: show a sound layer.
  ASSERT_EQ(controller->openSoundData(writeOneSoundSet().c_str()), 0);
  controller->setTransValue(100);
  for (const CameraLine& c : {
           CameraLine{0.0, M_PI / 2, 50.0, "Focallength: 50.00, Azimuth: 0.00, Altitude: 90.00"},
           CameraLine{M_PI, M_PI / 4, 50.0, "Focallength: 50.00, Azimuth: 180.00, Altitude: 45.00"},
           CameraLine{-M_PI / 2, M_PI / 2, 18.5, "Focallength: 18.50, Azimuth: -90.00, Altitude: 90.00"},
           CameraLine{5 * M_PI, 0.0, 50.0, "Focallength: 50.00, Azimuth: 900.00, Altitude: 0.00"},
       }) {
    const int draws = window.drawCount();
    controller->setCameraData(c.azimuth, c.altitude, c.f);
    EXPECT_EQ(window.drawCount(), draws + 1);
    EXPECT_EQ(window.statusTexts().back(), std::string(c.line) + " Sound: Pegel");
    const CamData camera = controller->camera();
    EXPECT_EQ(camera.azimuth, c.azimuth);
    EXPECT_EQ(camera.altitude, c.altitude);
    EXPECT_EQ(camera.f, c.f);
  }
}

TEST_F(Navigation, WheelStepChangesTheFieldOfViewByOneDegree) {
  controller->mouseScrolled(+1);
  EXPECT_NEAR(controller->camera().f, 51.435, 1e-3);
  controller->mouseScrolled(-1);
  EXPECT_NEAR(controller->camera().f, 50.0, 1e-9);
  controller->mouseScrolled(-1);
  EXPECT_NEAR(controller->camera().f, 48.635, 1e-3);
  // Each step ended its own scrolling: none was refused.
  EXPECT_EQ(countEntries(kWheelLocked), 0);
  EXPECT_FALSE(controller->locked());
}

TEST_F(Navigation, WheelStepIsRefusedAtTheFieldOfViewLimitsAndWhileLocked) {
  // Half angles within a step of 0 and of 90 degrees (35 mm sensor width).
  const double nearZero = 35.0 / (2.0 * std::tan(0.004));
  const double nearRight = 35.0 / (2.0 * std::tan(M_PI / 2 - 0.004));
  struct Limit {
    double f;
    int step;
  };
  for (const Limit& limit : {Limit{nearZero, +1}, Limit{nearRight, -1}}) {
    controller->setCameraData(kStartAzimuth, kStartAltitude, limit.f);
    controller->mouseScrolled(limit.step);
    EXPECT_EQ(controller->camera().f, limit.f) << "the step is dropped";
  }
  EXPECT_EQ(countEntries(kWheelLocked), 0) << "a limit is no lock";

  // The way back from a limit is open.
  controller->mouseScrolled(+1);
  EXPECT_GT(controller->camera().f, nearRight);
  EXPECT_LT(controller->camera().f, 50.0);

  // A size change that has not settled yet locks the controller.
  controller->setCameraData(kStartAzimuth, kStartAltitude, kStartF);
  controller->canvasSizeChanged(700, 480);
  ASSERT_TRUE(controller->locked());
  controller->mouseScrolled(+1);
  EXPECT_EQ(countEntries(kWheelLocked), 1);
  EXPECT_EQ(controller->camera().f, kStartF);
}

TEST_F(Navigation, DragTurnsTheCameraTheWayOfThePointerUntilReleased) {
  controller->mouseDraged(100, 0);
  ASSERT_TRUE(waitFor([&] { return controller->camera().azimuth > 0.05; }));
  EXPECT_EQ(controller->camera().altitude, kStartAltitude);

  // Back at the press point: the camera goes on turning as before.
  controller->mouseDraged(0, 0);
  const double azimuth = controller->camera().azimuth;
  ASSERT_TRUE(waitFor([&] { return controller->camera().azimuth > azimuth + 0.05; }));
  EXPECT_EQ(controller->camera().altitude, kStartAltitude);

  // While the loop runs, a drag changes the direction of the turn.
  controller->mouseDraged(-30, 40);
  const CamData turning = controller->camera();
  ASSERT_TRUE(waitFor([&] {
    const CamData now = controller->camera();
    return now.azimuth < turning.azimuth - 0.05 && now.altitude > turning.altitude + 0.05;
  }));

  // Released: the camera stops and stays.
  controller->mouseReleased();
  ASSERT_TRUE(waitUntilStill());
  const CamData stopped = controller->camera();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(controller->camera().azimuth, stopped.azimuth);
  EXPECT_EQ(controller->camera().altitude, stopped.altitude);
  EXPECT_EQ(controller->camera().f, kStartF);
}

TEST_F(Navigation, LookAroundStepWithNothingOpenAddsWholeStepsAndLeavesTheLockClear) {
  const double step = stepFor(100, 0).first;
  EXPECT_NEAR(step, 0.0102845, 1e-7);
  controller->mouseDraged(100, 0);
  ASSERT_TRUE(waitFor([&] { return controller->camera().azimuth >= 60 * step - 1e-9; }));
  controller->mouseReleased();
  controller->close();  // joins the loop

  // Nothing was open, so no recalculation cleared `locked`: the step did.
  EXPECT_FALSE(controller->locked());
  const CamData camera = controller->camera();
  EXPECT_EQ(camera.altitude, kStartAltitude);
  // Every step from azimuth 0 turned by the same angle (the last one may
  // have found the velocities cleared by the release and turned by none).
  const double steps = camera.azimuth / step;
  EXPECT_GE(steps, 60.0 - 1e-6);
  EXPECT_NEAR(steps, std::round(steps), 1e-6);
}

TEST_F(Navigation, ReleasedLookAroundEndsAndTheWheelWorksAgain) {
  const double step = stepFor(0, -50).second;
  ASSERT_LT(step, 0.0);
  controller->mouseDraged(0, -50);
  ASSERT_TRUE(waitFor([&] { return controller->camera().altitude <= kStartAltitude + 5 * step; }));
  controller->mouseReleased();
  // The loop sees the release at its next test; after that nothing locks.
  ASSERT_TRUE(waitUntilStill());
  const CamData camera = controller->camera();
  EXPECT_LT(camera.altitude, kStartAltitude) << "a pointer below the press point lowers the view";
  EXPECT_EQ(camera.azimuth, kStartAzimuth);
  controller->mouseScrolled(+1);
  EXPECT_NEAR(controller->camera().f, 51.435, 1e-3);
  EXPECT_EQ(countEntries(kWheelLocked), 0);
}

TEST_F(SteppedLookAround, EachStepTurnsByTheVelocityTimesHalfADegreeForTheCanvasHeight) {
  for (const int height : {480, 240}) {
    SCOPED_TRACE(height);
    if (height != window.height) {
      // The drag scale follows the canvas. Opening the sound data again
      // applies the pending size change at once, without the settle timer.
      controller->canvasSizeChanged(700, height);
      ASSERT_EQ(controller->openSoundData(sound.c_str()), 0);
      ASSERT_FALSE(controller->locked());
      ASSERT_EQ(controller->camera().height, height);
    }
    const CamData start = controller->camera();
    const double step = stepFor(100, 0, height).first;

    window.closeGate();
    controller->mouseDraged(100, 0);
    for (int held = 1; held <= 5; ++held) {
      ASSERT_TRUE(window.waitForHeld());  // step `held` is drawing
      EXPECT_TRUE(controller->locked());
      const CamData camera = controller->camera();
      EXPECT_NEAR(camera.azimuth - start.azimuth, held * step, 1e-12) << "step " << held;
      EXPECT_EQ(camera.altitude, start.altitude);
      window.passOne();
    }
    controller->mouseReleased();
    window.openGate();
    ASSERT_TRUE(waitFor([&] {
      const double before = controller->camera().azimuth;
      std::this_thread::sleep_for(30ms);
      return !controller->locked() && controller->camera().azimuth == before;
    }));
  }
  EXPECT_NEAR(stepFor(100, 0, 240).first, 2 * stepFor(100, 0, 480).first, 1e-9)
      << "half the height, twice the turn";
}

TEST_F(Navigation, CloseDuringLookAroundAndPendingTimerEndsEveryThread) {
  controller->mouseDraged(100, 0);
  ASSERT_TRUE(waitFor([&] { return controller->camera().azimuth > 10 * stepFor(100, 0).first; }));
  EXPECT_FALSE(controller->settled()) << "the look-around runs and the settle timer waits";

  controller->close();
  const std::string closed = logText();
  EXPECT_TRUE(logEnded(closed));

  // No thread writes afterwards, and every later call is ignored.
  std::this_thread::sleep_for(50ms);
  const CamData camera = controller->camera();
  const std::vector<std::string> status = window.statusTexts();
  controller->mouseDraged(10, 10);
  controller->mouseScrolled(1);
  controller->canvasSizeChanged(300, 200);
  controller->setTransValue(50);
  controller->setRepValue(1);
  controller->mouseReleased();
  controller->openPanorama(std::string("missing.xml"));
  controller->openSoundData(std::string("missing"));
  controller->close();
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(logText(), closed);
  EXPECT_EQ(window.statusTexts(), status);
  EXPECT_TRUE(window.errors().empty());
  EXPECT_TRUE(window.soundControls().empty());
  EXPECT_EQ(controller->camera().azimuth, camera.azimuth);
  EXPECT_EQ(controller->camera().f, camera.f);
  EXPECT_EQ(controller->camera().width, 700);
  EXPECT_EQ(controller->soundAlpha(), 0.0f);
  EXPECT_EQ(controller->soundLayer(), 0);
}

TEST(ControllerLifetime, DestructorClosesWhenCloseWasNotCalled) {
  TempDir dir;
  RecordingGui window;
  {
    const auto controller = makeController(window);
    controller->mouseScrolled(1);  // leaves the settle timer waiting
    EXPECT_FALSE(controller->settled());
  }
  EXPECT_TRUE(logEnded(logText()));
}
