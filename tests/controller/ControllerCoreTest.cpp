#include <gtest/gtest.h>

#include <cmath>

#include "controller/PanController.h"
#include "support/RecordingGui.h"
#include "support/TempDir.h"

namespace {

struct Canvas {
  int width;
  int height;
  double sensorWidth;
};

}  // namespace

TEST(ControllerCore, SensorWidthFollowsTheCanvasAspect) {
  TempDir dir;
  for (const Canvas& canvas : {Canvas{700, 480, 35.0}, Canvas{480, 480, 24.0}, Canvas{960, 480, 48.0}}) {
    RecordingGui window(canvas.width, canvas.height);
    PanController controller(&window, 50.0, M_PI / 2, 0.0);
    EXPECT_DOUBLE_EQ(controller.camData->sensorWidth, canvas.sensorWidth);
    EXPECT_EQ(controller.camData->width, canvas.width);
    EXPECT_EQ(controller.camData->height, canvas.height);
    EXPECT_EQ(controller.camData->sensorHeight, 24.0);
    for (const cv::Mat* image : {&controller.dspParams->currentPic, &controller.dspParams->currentSoundLayer,
                                 &controller.dspParams->displayImage}) {
      EXPECT_EQ(image->cols, canvas.width);
      EXPECT_EQ(image->rows, canvas.height);
      EXPECT_EQ(image->type(), CV_8UC3);
    }
    controller.close();
  }
}

TEST(ControllerCore, ConstructorTakesTheCameraArgumentsAndDragScale) {
  TempDir dir;
  RecordingGui window(700, 480);
  PanController controller(&window, 18.5, 0.25, -1.5);
  EXPECT_EQ(controller.camData->f, 18.5);
  EXPECT_EQ(controller.camData->altitude, 0.25);
  EXPECT_EQ(controller.camData->azimuth, -1.5);
  EXPECT_NEAR(controller.dragScale.load(), 678.8225f, 1e-3);
  EXPECT_EQ(controller.dspParams->soundAlpha.load(), 0.0f);
  EXPECT_FALSE(controller.locked.load());
  EXPECT_FALSE(controller.panoramaOpened);
  EXPECT_TRUE(controller.xmlPath.empty());
  EXPECT_EQ(window.drawCount(), 0) << "the constructor shows nothing";
  controller.close();
}

TEST(ControllerCore, ConstructorStartsAFreshLog) {
  TempDir dir;
  {
    std::ofstream old("vemraLogic.log");
    old << "left over from an earlier run\n";
  }
  RecordingGui window;
  PanController controller(&window, 50.0, M_PI / 2, 0.0);
  const std::string text = readWholeFile(dir.file("vemraLogic.log"));
  EXPECT_EQ(text.find("left over"), std::string::npos);
  EXPECT_NE(text.find("\tPanController::initDspImgData()\n"), std::string::npos);
  controller.close();
}
