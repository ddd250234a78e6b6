#include <gtest/gtest.h>

#include <cmath>

#include "ControllerTestSupport.h"
#include "sound/SoundData.h"

using namespace controllertest;

namespace {

const char* const kMissingText = "XML-Datei existiert nicht oder konnte nicht geoeffnet werden!";
const char* const kMalformedText = "Fehler beim lesen der XML-Datei!";
const char* const kSoundErrorText = "Fehler beim Laden der Tondaten!!!";
const char* const kSoundComputed = "PanController::recalculateSndImage start soundPicture calculation";

class Opening : public testing::Test {
 protected:
  void SetUp() override { makeTimerFast(*controller, std::chrono::hours(1)); }

  TempDir dir;
  RecordingGui window{160, 120};
  std::unique_ptr<PanController> controller =
      std::make_unique<PanController>(&window, 50.0, M_PI / 2, 0.0);
};

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
  EXPECT_TRUE(controller->xmlPath.empty());
}

TEST_F(Opening, MalformedFileOpensNothingAndReleasesNothingTwice) {
  writeFile(dir.path() / "broken.xml", "<panorama><lens>");
  for (int attempt = 1; attempt <= 2; ++attempt) {
    EXPECT_EQ(controller->openPanorama(dir.file("broken.xml").c_str()), -1);
    EXPECT_EQ(window.errors().back(), kMalformedText);
    EXPECT_TRUE(controller->xmlPath.empty());
    EXPECT_EQ(controller->picManager, nullptr);
    EXPECT_EQ(controller->picLoader, nullptr);
    EXPECT_EQ(controller->puuzler, nullptr);
    EXPECT_FALSE(controller->panoramaOpened);
    EXPECT_FALSE(controller->locked.load());
    EXPECT_EQ(countEntries("PanController::openPanorama couldn't open panorama"), attempt);
  }
  EXPECT_EQ(countEntries("PanController::openPanorama releasing previous panorama"), 0);
  EXPECT_EQ(window.drawCount(), 0);
  // Navigation goes on without a panorama.
  controller->mouseScrolled(1);
  EXPECT_EQ(countEntries("PanController::mouseScrolled, not locked, set new FocalLength"), 1);
}

TEST_F(Opening, PendingSizeChangeIsAppliedRatherThanLeftLocked) {
  writeFile(dir.path() / "broken.xml", "not a panorama");
  controller->canvasSizeChanged(320, 240);
  ASSERT_TRUE(controller->locked.load());
  EXPECT_EQ(controller->openPanorama(dir.file("broken.xml").c_str()), -1);
  EXPECT_FALSE(controller->locked.load());
  EXPECT_FALSE(controller->canvasResized.load());
  EXPECT_FALSE(controller->sleepThread->pending());
  EXPECT_EQ(controller->dspParams->displayImage.size(), cv::Size(320, 240));
  controller->mouseScrolled(1);
  EXPECT_EQ(countEntries("PanController::mouseScrolled, not locked, set new FocalLength"), 1);
}

TEST_F(Opening, SoundAtTransparencyZeroIsComputedWhenTheSliderFirstMoves) {
  const std::string sound = writeSoundDirectory(
      dir.path() / "sound", {{"Pegel A", 4, 2, "0.5000"}, {"Pegel B", 4, 2, "0.2500"}});
  controller->openSoundData(sound);
  EXPECT_EQ(window.repMaximum(), 1);
  EXPECT_EQ(window.soundControls(), std::vector<bool>{true});
  EXPECT_EQ(countEntries(kSoundComputed), 0) << "nothing is computed while it cannot be seen";
  EXPECT_EQ(window.drawCount(), 0);
  EXPECT_TRUE(controller->soundImageOutdated.load());

  // Without a panorama the sound layer is shown alone, at full strength.
  controller->setTransValue(100);
  EXPECT_EQ(countEntries(kSoundComputed), 1);
  EXPECT_FLOAT_EQ(controller->dspParams->soundAlpha.load(), 1.0f);
  ASSERT_EQ(window.drawCount(), 1);
  EXPECT_TRUE(allPixels(window.lastImage(), 128, 255, 128));
  EXPECT_EQ(window.statusTexts().back(), "Focallength: 50.00, Azimuth: 0.00, Altitude: 90.00 Sound: Pegel A");

  controller->setTransValue(37);
  EXPECT_FLOAT_EQ(controller->dspParams->soundAlpha.load(), 0.37f);
  EXPECT_EQ(countEntries(kSoundComputed), 1) << "an up-to-date sound image is only recomposed";
  EXPECT_EQ(window.drawCount(), 2);
  EXPECT_TRUE(allPixels(window.lastImage(), 128, 255, 128));

  const cv::Mat first = window.lastImage();
  controller->setRepValue(1);
  EXPECT_EQ(countEntries(kSoundComputed), 2);
  EXPECT_EQ(window.drawCount(), 4) << "composed by the sound recalculation and once more";
  EXPECT_FALSE(sameImage(window.lastImage(), first));
  EXPECT_EQ(window.statusTexts().back(), "Focallength: 50.00, Azimuth: 0.00, Altitude: 90.00 Sound: Pegel B");
}

TEST_F(Opening, SoundLayerAtTransparencyZeroLeavesTheDisplayAsItWas) {
  const std::string sound = writeSoundDirectory(dir.path() / "sound", {{"Pegel", 4, 2, "0.5000"}});
  controller->openSoundData(sound);
  controller->setTransValue(100);
  const cv::Mat shown = window.lastImage();
  controller->setTransValue(0);
  EXPECT_TRUE(sameImage(window.lastImage(), shown));
  controller->setCameraData(1.0, 1.0, 50.0);  // a camera change marks the sound image outdated
  EXPECT_EQ(countEntries(kSoundComputed), 1);
  EXPECT_TRUE(controller->soundImageOutdated.load());
}

TEST_F(Opening, UnloadableSoundDirectoryDisablesTheSoundControls) {
  controller->openSoundData(dir.file("no-such-directory"));
  EXPECT_EQ(window.errors(), std::vector<std::string>{kSoundErrorText});
  EXPECT_EQ(window.soundControls(), std::vector<bool>{false});
  EXPECT_EQ(countEntries("PanController::openSoundData error occured while trying to load soundData"), 1);
  EXPECT_NE(controller->openSoundData(dir.file("no-such-directory").c_str()), 0);
  EXPECT_FALSE(controller->soundData->loaded.load());
}
