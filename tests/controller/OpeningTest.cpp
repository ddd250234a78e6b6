#include <gtest/gtest.h>

#include <cmath>

#include "ControllerTestSupport.h"

using namespace controllertest;

namespace {

class Opening : public ControllerFixture<> {};

}  // namespace

TEST_F(Opening, MissingFileOrDirectoryIsRefusedWithMinusThree) {
  for (const std::string& path : {dir.file("nowhere/missing.xml"), dir.path().string()}) {
    EXPECT_EQ(controller->openPanorama(path.c_str()), -3) << path;
    EXPECT_EQ(window.errors().back(), kMissingText);
  }
  const std::string log = logText();
  EXPECT_EQ(countEntries(log, "PanController::openPanorama couldn't open xml-File"), 2);
  EXPECT_EQ(countEntries(log, "PanController::openPanorama file exists"), 0);
  EXPECT_EQ(countStatus(window, "Opening the panorama"), 2);
  EXPECT_TRUE(controller->panoramaPath().empty());
  EXPECT_EQ(controller->panorama(), nullptr);
  EXPECT_TRUE(controller->settled());
}

TEST_F(Opening, MalformedFileOpensNothingAndReleasesNothingTwice) {
  writeFile(dir.path() / "broken.xml", "<panorama><lens>");
  for (int attempt = 1; attempt <= 2; ++attempt) {
    EXPECT_EQ(controller->openPanorama(dir.file("broken.xml").c_str()), -1);
    EXPECT_EQ(window.errors().back(), kMalformedText);
    EXPECT_TRUE(controller->panoramaPath().empty());
    EXPECT_EQ(controller->panorama(), nullptr);
    EXPECT_FALSE(controller->locked());
    EXPECT_TRUE(controller->settled()) << "nothing open: no refinement follows";
    EXPECT_EQ(countEntries("PanController::openPanorama couldn't open panorama"), attempt);
  }
  EXPECT_EQ(countEntries("PanController::openPanorama releasing previous panorama"), 0);
  EXPECT_EQ(window.drawCount(), 0);
  // Navigation goes on without a panorama.
  controller->mouseScrolled(1);
  EXPECT_GT(controller->camera().f, kStartF) << "the step was taken";
}

TEST_F(Opening, PendingSizeChangeIsAppliedRatherThanLeftLocked) {
  writeFile(dir.path() / "broken.xml", "not a panorama");
  controller->canvasSizeChanged(320, 240);
  ASSERT_TRUE(controller->locked());
  EXPECT_EQ(controller->openPanorama(dir.file("broken.xml").c_str()), -1);
  EXPECT_FALSE(controller->locked());
  // Nothing is left pending: the size change is done and, with nothing
  // open, no refinement follows.
  EXPECT_TRUE(controller->settled());
  EXPECT_EQ(controller->displayImage().size(), cv::Size(320, 240));
  controller->mouseScrolled(1);
  EXPECT_GT(controller->camera().f, kStartF) << "the step was taken";
  EXPECT_EQ(countEntries(kWheelLocked), 0);
}

TEST_F(Opening, SoundAtTransparencyZeroIsComputedWhenTheSliderFirstMoves) {
  const std::string sound = writeSoundDirectory(
      dir.path() / "sound", {{"Pegel A", 4, 2, "0.5000"}, {"Pegel B", 4, 2, "0.2500"}});
  controller->openSoundData(sound);
  EXPECT_EQ(window.repMaximum(), 1);
  EXPECT_EQ(window.soundControls(), std::vector<bool>{true});
  EXPECT_TRUE(controller->soundLoaded());
  EXPECT_EQ(controller->soundSetCount(), 2);
  EXPECT_EQ(controller->soundLayer(), 0);
  EXPECT_EQ(countStatus(window, kSoundView), 0) << "nothing is computed while it cannot be seen";
  EXPECT_EQ(window.drawCount(), 0);

  // Without a panorama the sound layer is shown alone, at full strength.
  controller->setTransValue(100);
  EXPECT_EQ(countStatus(window, kSoundView), 1);
  EXPECT_FLOAT_EQ(controller->soundAlpha(), 1.0f);
  ASSERT_EQ(window.drawCount(), 1);
  EXPECT_TRUE(allPixels(window.lastImage(), 128, 255, 128));
  EXPECT_TRUE(sameImage(controller->displayImage(), window.lastImage()));
  EXPECT_EQ(window.statusTexts().back(), "Focallength: 50.00, Azimuth: 0.00, Altitude: 90.00 Sound: Pegel A");

  controller->setTransValue(37);
  EXPECT_FLOAT_EQ(controller->soundAlpha(), 0.37f);
  EXPECT_EQ(countStatus(window, kSoundView), 1) << "an up-to-date sound image is only recomposed";
  EXPECT_EQ(window.drawCount(), 2);
  EXPECT_TRUE(allPixels(window.lastImage(), 128, 255, 128));

  const cv::Mat first = window.lastImage();
  controller->setRepValue(1);
  EXPECT_EQ(controller->soundLayer(), 1);
  EXPECT_EQ(countStatus(window, kSoundView), 2);
  EXPECT_EQ(window.drawCount(), 4) << "composed by the sound recalculation and once more";
  EXPECT_FALSE(sameImage(window.lastImage(), first));
  EXPECT_EQ(window.statusTexts().back(), "Focallength: 50.00, Azimuth: 0.00, Altitude: 90.00 Sound: Pegel B");
}

TEST_F(Opening, SoundLayerAtTransparencyZeroLeavesTheDisplayAsItWas) {
  controller->openSoundData(writeOneSoundSet());
  controller->setTransValue(100);
  const cv::Mat shown = window.lastImage();
  controller->setTransValue(0);
  EXPECT_TRUE(sameImage(window.lastImage(), shown));
  EXPECT_EQ(controller->soundAlpha(), 0.0f);
  const int draws = window.drawCount();

  // A camera change while the layer cannot be seen computes nothing, but it
  // leaves the sound image outdated: the slider's next move computes it.
  controller->setCameraData(1.0, 1.0, 50.0);
  EXPECT_EQ(countStatus(window, kSoundView), 1);
  EXPECT_EQ(window.drawCount(), draws);
  controller->setTransValue(100);
  EXPECT_EQ(countStatus(window, kSoundView), 2);
  EXPECT_EQ(window.statusTexts().back(), "Focallength: 50.00, Azimuth: 57.30, Altitude: 57.30 Sound: Pegel");
}

TEST_F(Opening, UnloadableSoundDirectoryDisablesTheSoundControls) {
  controller->openSoundData(dir.file("no-such-directory"));
  EXPECT_EQ(window.errors(), std::vector<std::string>{kSoundErrorText});
  EXPECT_EQ(window.soundControls(), std::vector<bool>{false});
  EXPECT_EQ(countEntries("PanController::openSoundData error occured while trying to load soundData"), 1);
  EXPECT_NE(controller->openSoundData(dir.file("no-such-directory").c_str()), 0);
  EXPECT_FALSE(controller->soundLoaded());
  EXPECT_EQ(controller->soundSetCount(), 0);
  EXPECT_EQ(window.repMaximum(), -1) << "no sets, no maximum";
}
