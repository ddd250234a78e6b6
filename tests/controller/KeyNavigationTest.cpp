// The keyboard and drag navigation of the controller: turns by given angles,
// the way back to the start camera, and the grabbed point that follows the
// pointer; each refused while locked and followed by the refined view.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ControllerTestSupport.h"
#include "base/Constants.h"
#include "camera/PointerGrab.h"

using namespace controllertest;

namespace {

// The controller on a 700 x 480 canvas showing a uniform sound layer at full
// strength: every camera step draws and writes the status line.
class KeyNavigation : public ControllerFixture<> {
 protected:
  KeyNavigation() : ControllerFixture(700, 480) {}
  void SetUp() override {
    ASSERT_EQ(controller->openSoundData(writeOneSoundSet().c_str()), 0);
    controller->setTransValue(100);
    ASSERT_EQ(window.drawCount(), 1);
  }
};

constexpr double kDegree = kPi / 180.0;

}  // namespace

TEST_F(KeyNavigation, TurnAddsTheAnglesAndShowsTheQuickView) {
  struct Turn {
    double dAzimuth;
    double dAltitude;
    const char* line;
  };
  // From the start camera, one after another.
  const Turn turns[] = {
      {2 * kDegree, 0.0, "Focallength: 50.00, Azimuth: 2.00, Altitude: 90.00"},      // left
      {0.0, 10 * kDegree, "Focallength: 50.00, Azimuth: 2.00, Altitude: 100.00"},    // up
      {-12 * kDegree, 0.0, "Focallength: 50.00, Azimuth: -10.00, Altitude: 100.00"}, // right
      {0.0, -2 * kDegree, "Focallength: 50.00, Azimuth: -10.00, Altitude: 98.00"},   // down
  };
  for (const Turn& turn : turns) {
    const int draws = window.drawCount();
    controller->turnBy(turn.dAzimuth, turn.dAltitude);
    EXPECT_EQ(window.drawCount(), draws + 1);
    EXPECT_EQ(window.statusTexts().back(), std::string(turn.line) + " Sound: Pegel");
  }
  EXPECT_NEAR(controller->camera().azimuth, -10 * kDegree, 1e-12);
  EXPECT_NEAR(controller->camera().altitude, 98 * kDegree, 1e-12);
  EXPECT_EQ(controller->camera().f, kStartF);
  EXPECT_FALSE(controller->locked());
}

TEST_F(KeyNavigation, HomeReturnsToTheStartCameraAfterTurnsAndZoom) {
  controller->turnBy(30 * kDegree, -20 * kDegree);
  controller->mouseScrolled(+1);
  controller->mouseScrolled(+1);
  ASSERT_NE(controller->camera().f, kStartF);
  controller->resetCamera();
  const CamData camera = controller->camera();
  EXPECT_EQ(camera.azimuth, kStartAzimuth);
  EXPECT_EQ(camera.altitude, kStartAltitude);
  EXPECT_EQ(camera.f, kStartF);
  EXPECT_EQ(window.statusTexts().back(),
            "Focallength: 50.00, Azimuth: 0.00, Altitude: 90.00 Sound: Pegel");
}

TEST_F(KeyNavigation, EveryStepIsRefusedWhileLockedAndNothingChanges) {
  controller->grabAt(350, 240);
  // A size change that has not settled yet locks the controller.
  controller->canvasSizeChanged(700, 480);
  ASSERT_TRUE(controller->locked());
  const int draws = window.drawCount();
  controller->turnBy(2 * kDegree, 0.0);
  controller->resetCamera();
  controller->dragGrabbedTo(300, 200);
  EXPECT_EQ(countEntries("PanController::turnBy, LOCKED"), 1);
  EXPECT_EQ(countEntries("PanController::resetCamera, LOCKED"), 1);
  EXPECT_EQ(countEntries("PanController::dragGrabbedTo, LOCKED"), 1);
  EXPECT_EQ(window.drawCount(), draws);
  EXPECT_EQ(controller->camera().azimuth, kStartAzimuth);
  EXPECT_EQ(controller->camera().altitude, kStartAltitude);
  EXPECT_TRUE(controller->locked()) << "a refusal leaves the lock to its owner";
}

TEST_F(KeyNavigation, GrabbedPointFollowsThePointerUntilReleased) {
  controller->turnBy(40 * kDegree, 15 * kDegree);
  const Vec3 grabbed = pointerDirection(controller->camera(), 120.5, 80.0);
  controller->grabAt(120.5, 80.0);
  // A drag is a sequence of pointer positions; each is solved on its own.
  for (const auto& [column, row] : {std::pair{130.0, 90.0}, {300.0, 250.0}, {650.25, 470.0},
                                    {20.0, 400.0}}) {
    const int draws = window.drawCount();
    controller->dragGrabbedTo(column, row);
    EXPECT_EQ(window.drawCount(), draws + 1);
    double c = 0.0;
    double r = 0.0;
    ASSERT_TRUE(directionPosition(controller->camera(), grabbed, &c, &r));
    EXPECT_NEAR(c, column, 1e-6);
    EXPECT_NEAR(r, row, 1e-6);
    EXPECT_EQ(controller->camera().f, kStartF);
  }
  controller->mouseReleased();
  const CamData released = controller->camera();
  const int draws = window.drawCount();
  controller->dragGrabbedTo(350, 240);
  EXPECT_EQ(window.drawCount(), draws);
  EXPECT_EQ(controller->camera().azimuth, released.azimuth);
}

TEST_F(KeyNavigation, PositionTheGrabbedPointCannotReachIsIgnored) {
  // Looking almost straight up, grab the zenith and pull it to the side.
  controller->turnBy(0.0, 85 * kDegree);
  double column = 0.0;
  double row = 0.0;
  ASSERT_TRUE(directionPosition(controller->camera(), Vec3{0.0, 1.0, 0.0}, &column, &row));
  controller->grabAt(column, row);
  const CamData before = controller->camera();
  controller->dragGrabbedTo(column + 300.0, row);
  EXPECT_EQ(countEntries("PanController::dragGrabbedTo, no camera shows that"), 1);
  EXPECT_EQ(controller->camera().azimuth, before.azimuth);
  EXPECT_EQ(controller->camera().altitude, before.altitude);
  EXPECT_FALSE(controller->locked());
}

TEST_F(KeyNavigation, StepsAreFollowedByTheRefinedView) {
  ASSERT_NO_FATAL_FAILURE(openSample());
  ASSERT_TRUE(waitUntilSettled());
  settleAfter(30ms);
  const int refined = countStatus(window, kRefinedView);
  const int quick = countStatus(window, kQuickView);
  controller->turnBy(2 * kDegree, 0.0);
  EXPECT_EQ(countStatus(window, kQuickView), quick + 1);
  ASSERT_TRUE(waitForEntries(kTimerRefined, 1));
  ASSERT_TRUE(waitUntilSettled());
  EXPECT_EQ(countStatus(window, kRefinedView), refined + 1);

  controller->grabAt(350, 240);
  controller->dragGrabbedTo(300, 240);
  controller->mouseReleased();
  ASSERT_TRUE(waitForEntries(kTimerRefined, 2));
  ASSERT_TRUE(waitUntilSettled());  // a key during the refinement is refused
  controller->resetCamera();
  ASSERT_TRUE(waitForEntries(kTimerRefined, 3));
  ASSERT_TRUE(waitUntilSettled());
  EXPECT_EQ(countStatus(window, kQuickView), quick + 3);
}

TEST_F(KeyNavigation, WindowLearnsThatEachPanoramaOpenEnded) {
  const std::string missing = (dir.path() / "nowhere.xml").string();
  ASSERT_NO_FATAL_FAILURE(openAsWindow(missing));
  ASSERT_FALSE(sample().description.empty()) << sample().error;
  ASSERT_NO_FATAL_FAILURE(openAsWindow(sample().description));
  EXPECT_EQ(window.openEnds(), (std::vector<std::string>{missing + " refused",
                                                         sample().description + " opened"}));
  // The refusal's message came first.
  ASSERT_EQ(window.errors().size(), 1u);
  EXPECT_TRUE(refusedWith(window.errors()[0], kMissingText));
  // The tools' direct call reports nothing to the window.
  controller->openPanorama(sample().description.c_str());
  EXPECT_EQ(window.openEnds().size(), 2u);
}
