#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "ControllerTestSupport.h"

using namespace controllertest;

namespace {

struct Canvas {
  int width;
  int height;
  double sensorWidth;
};

class ControllerCore : public ControllerFixture<> {
 protected:
  ControllerCore() : ControllerFixture(700, 480) {}
};

}  // namespace

TEST(ControllerStart, SensorWidthAndImagesFollowTheCanvas) {
  TempDir dir;
  const std::string sound = writeSoundDirectory(dir.path() / "sound", {{"Pegel", 4, 2, "0.5000"}});
  for (const Canvas& canvas : {Canvas{700, 480, 35.0}, Canvas{480, 480, 24.0}, Canvas{960, 480, 48.0}}) {
    SCOPED_TRACE(canvas.width);
    RecordingGui window(canvas.width, canvas.height);
    const auto controller = makeController(window);
    const CamData camera = controller->camera();
    EXPECT_DOUBLE_EQ(camera.sensorWidth, canvas.sensorWidth);
    EXPECT_EQ(camera.width, canvas.width);
    EXPECT_EQ(camera.height, canvas.height);
    EXPECT_EQ(camera.sensorHeight, 24.0);
    const cv::Mat display = controller->displayImage();
    EXPECT_EQ(display.size(), cv::Size(canvas.width, canvas.height));
    EXPECT_EQ(display.type(), CV_8UC3);
    EXPECT_TRUE(allPixels(display, 0, 0, 0)) << "cleared, nothing stale";

    // The sound layer composes into the display image only at the same size.
    ASSERT_EQ(controller->openSoundData(sound.c_str()), 0);
    controller->setTransValue(100);
    ASSERT_EQ(window.drawCount(), 1);
    EXPECT_EQ(window.lastImage().size(), cv::Size(canvas.width, canvas.height));
    EXPECT_TRUE(allPixels(window.lastImage(), 128, 255, 128));
    controller->close();
  }
}

TEST_F(ControllerCore, ConstructorTakesTheCameraAndShowsNothing) {
  controller->close();  // one log writer at a time
  RecordingGui other(700, 480);
  PanController started(&other, 18.5, 0.25, -1.5);
  const CamData camera = started.camera();
  EXPECT_EQ(camera.f, 18.5);
  EXPECT_EQ(camera.altitude, 0.25);
  EXPECT_EQ(camera.azimuth, -1.5);
  EXPECT_EQ(started.soundAlpha(), 0.0f);
  EXPECT_EQ(started.soundLayer(), 0);
  EXPECT_FALSE(started.soundLoaded());
  EXPECT_EQ(started.soundSetCount(), 0);
  EXPECT_FALSE(started.locked());
  EXPECT_TRUE(started.settled()) << "no timer, no look-around, no recalculation";
  EXPECT_EQ(started.panorama(), nullptr);
  EXPECT_TRUE(started.panoramaPath().empty());
  EXPECT_EQ(other.drawCount(), 0) << "the constructor shows nothing";
  EXPECT_TRUE(other.statusTexts().empty());
  EXPECT_TRUE(other.errors().empty());
  started.close();
}

TEST_F(ControllerCore, ConstructorStartsAFreshLog) {
  controller->close();
  {
    std::ofstream old("vemraLogic.log");
    old << "left over from an earlier run\n";
  }
  const auto fresh = makeController(window);
  const std::string text = readWholeFile(dir.file("vemraLogic.log"));
  EXPECT_EQ(text.find("left over"), std::string::npos);
  EXPECT_FALSE(text.empty()) << "the new controller writes to it";
  fresh->close();
  EXPECT_TRUE(logEnded(logText()));
}
