#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

#include <opencv2/core.hpp>

#include "ControllerTestSupport.h"
#include "panorama/PicManager.h"

using namespace controllertest;
namespace fs = std::filesystem;

namespace {

// The sample panorama on a 160 x 120 canvas; each test opens it itself.
class PanoramaView : public ControllerFixture<> {
 protected:
  const SampleScene& scene() const { return sample().scene; }

  // The sample's description with another lens and sensor, in this test's
  // directory (the photographs are found beside it, so they are linked).
  std::string describedWith(const std::string& focalLength, const std::string& sensorWidth,
                            const std::string& sensorHeight) {
    std::string text = readWholeFile(sample().description);
    auto replaceAfter = [&](const std::string& anchor, const std::string& tag, const std::string& value) {
      const std::size_t from = text.find(anchor);
      const std::size_t open = text.find("<" + tag + ">", from);
      const std::size_t close = text.find("</" + tag + ">", open);
      text.replace(open + tag.size() + 2, close - open - tag.size() - 2, value);
    };
    replaceAfter("<lens>", "focalLength", focalLength);
    replaceAfter("<sensor>", "width", sensorWidth);
    replaceAfter("<sensor>", "height", sensorHeight);
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(sample().description).parent_path())) {
      if (entry.path().extension() == ".jpg") {
        fs::create_symlink(entry.path(), dir.path() / entry.path().filename());
      }
    }
    writeFile(dir.path() / "lens.xml", text);
    return dir.file("lens.xml");
  }

  // The image widths of the open panorama's photographs that hold a larger
  // image than their preview, by ID.
  std::map<int, int> enlargedWidths() const {
    std::map<int, int> widths;
    for (int id : enlargedPhotographs()) {
      int width = 0;
      int height = 0;
      double pitch = 0.0;
      controller->panorama()->findById(id)->currentSize(&width, &height, &pitch);
      widths[id] = width;
    }
    return widths;
  }

  // The IDs of the open panorama's photographs that hold a larger image
  // than their preview.
  std::vector<int> enlargedPhotographs() const {
    std::vector<int> ids;
    const PicManager* pictures = controller->panorama();
    if (pictures == nullptr) {
      return ids;
    }
    for (const auto& picture : pictures->pictures) {
      int width = 0;
      int height = 0;
      double pitch = 0.0;
      picture->currentSize(&width, &height, &pitch);
      if (!picture->previewIsCurrent() && width > picture->previewWidth) {
        ids.push_back(picture->id);
      }
    }
    return ids;
  }
};

// The sample panorama on a GatedGui canvas of 160 x 120 (GatedView) or
// 160 x 480 (a drag scale of 678.82: TallGatedView).
class GatedView : public ControllerFixture<GatedGui> {};

class TallGatedView : public ControllerFixture<GatedGui> {
 protected:
  TallGatedView() : ControllerFixture(160, 480) {}
};

}  // namespace

TEST_F(PanoramaView, OpeningShowsARefinedFirstViewAndTheLensInformation) {
  ASSERT_NO_FATAL_FAILURE(openSample());

  const std::string log = logText();
  std::size_t at = 0;
  for (const char* step : {"PanController::openPanorama", "PanController::openPanorama file exists",
                           "PanController::openPanorama picManager->openPanorama",
                           "PanController::openPanorama panorama has been opened sucessfully ",
                           "PanController::openPanorama pcalculate Overlap",
                           "PanController::openPanorama start panorama Image recalculation"}) {
    at = log.find(std::string("\t") + step + "\n", at);
    ASSERT_NE(at, std::string::npos) << step;
  }
  EXPECT_EQ(countStatus(window, "Opening the panorama"), 1);
  EXPECT_EQ(countStatus(window, kRefinedView), 1);
  EXPECT_EQ(countStatus(window, kQuickView), 0);
  EXPECT_EQ(window.statusTexts().back(), "Focallength: 50.00, Azimuth: 0.00, Altitude: 90.00");
  EXPECT_EQ(window.infoText(), "Objektiv: Sample lens 4 mm\nBrennweite: 4\nSensorgroesse: 5x3");
  EXPECT_TRUE(fs::exists(dir.path() / "LUT.jpg"));
  EXPECT_EQ(controller->panoramaPath(), sample().description);
  ASSERT_NE(controller->panorama(), nullptr);
  EXPECT_EQ(controller->panorama()->pictureCount, static_cast<int>(controller->panorama()->pictures.size()));
  EXPECT_FALSE(controller->locked());

  // What the user sees is the scene as the camera looks at it.
  ASSERT_EQ(window.drawCount(), 1);
  const cv::Mat shown = window.lastImage();
  EXPECT_TRUE(sameImage(shown, controller->displayImage()));
  EXPECT_LT(meanDifference(shown, scene().renderView(controller->camera())), 25.0);
  // The refined view brought the photographs it shows beyond their previews.
  EXPECT_FALSE(enlargedPhotographs().empty());
}

// A refinement asks each photograph for the size the view needs, measured
// against the photograph's full size, whatever image it held: the opening
// view does not load full-size photographs because they held previews, the
// same view refined again keeps its sizes and bytes (it used to drop to the
// previews every third time), and a view that needs more than a photograph
// holds loads more at once instead of being drawn from the preview.
TEST_F(PanoramaView, RefinementsLoadTheSizeTheViewNeedsWhateverThePhotographsHeld) {
  ASSERT_NO_FATAL_FAILURE(openSample());
  const std::map<int, int> opened = enlargedWidths();
  ASSERT_FALSE(opened.empty());
  for (const auto& [id, width] : opened) {
    EXPECT_LT(width, controller->panorama()->findById(id)->fullWidth) << "photograph " << id;
  }
  const cv::Mat first = window.lastImage().clone();
  for (int again = 0; again < 3; ++again) {
    controller->refine();
    EXPECT_EQ(enlargedWidths(), opened) << "refinement " << again + 2;
    EXPECT_TRUE(sameImage(window.lastImage(), first)) << "refinement " << again + 2;
  }

  const CamData camera = controller->camera();
  controller->setCameraData(camera.azimuth, camera.altitude, camera.f * 1.5);
  controller->refine();
  const std::map<int, int> zoomed = enlargedWidths();
  for (const auto& [id, width] : opened) {
    ASSERT_EQ(zoomed.count(id), 1u) << "photograph " << id << " fell back to its preview";
    EXPECT_GT(zoomed.at(id), width) << "photograph " << id;
  }
}

TEST_F(PanoramaView, RefinementEnlargesThePhotographsOfTheViewAndAQuickViewDoesNot) {
  ASSERT_NO_FATAL_FAILURE(openSample());
  const std::vector<int> opened = enlargedPhotographs();
  ASSERT_FALSE(opened.empty());
  auto enlargedBeyond = [&](const std::vector<int>& before) {
    std::vector<int> added;
    for (int id : enlargedPhotographs()) {
      if (std::find(before.begin(), before.end(), id) == before.end()) {
        added.push_back(id);
      }
    }
    return added;
  };

  // A quick view elsewhere works with what is loaded: the previews.
  controller->setCameraData(2.0, 1.2, 50.0);
  EXPECT_EQ(countStatus(window, kQuickView), 1);
  EXPECT_TRUE(enlargedBeyond(opened).empty());
  const cv::Mat quick = window.lastImage();

  // Its refinement loads the photographs it shows at the scale it needs.
  controller->refine();
  EXPECT_EQ(countStatus(window, kRefinedView), 2);
  EXPECT_FALSE(enlargedBeyond(opened).empty());
  EXPECT_EQ(window.drawCount(), 3);
  EXPECT_FALSE(sameImage(window.lastImage(), quick)) << "sharper than from the previews";
  EXPECT_LT(meanDifference(window.lastImage(), scene().renderView(controller->camera())),
            meanDifference(quick, scene().renderView(controller->camera())));
  EXPECT_EQ(controller->panorama()->pictureCount, 28);
}

TEST_F(PanoramaView, InformationTextTruncatesTheSensorSize) {
  const std::string path = describedWith("50", "36.0", "24.9");
  ASSERT_EQ(controller->openPanorama(path.c_str()), 0);
  EXPECT_EQ(window.infoText(), "Objektiv: Sample lens 4 mm\nBrennweite: 50\nSensorgroesse: 36x24");
}

TEST_F(PanoramaView, MissingFileWhileOpenKeepsThePanoramaAnswering) {
  ASSERT_NO_FATAL_FAILURE(openSample());
  const PicManager* opened = controller->panorama();

  EXPECT_EQ(controller->openPanorama(dir.file("missing.xml").c_str()), -3);
  ASSERT_EQ(window.errors().size(), 1u);
  EXPECT_TRUE(refusedWith(window.errors().front(), kMissingText));
  EXPECT_EQ(controller->panoramaPath(), sample().description);
  EXPECT_EQ(controller->panorama(), opened) << "never released";

  controller->mouseScrolled(+1);
  EXPECT_EQ(countStatus(window, kQuickView), 1);
  EXPECT_EQ(window.drawCount(), 2);
}

TEST_F(PanoramaView, MalformedFileAfterAGoodOneKeepsTheGoodOneOpenAndAnswering) {
  writeFile(dir.path() / "broken.xml", "<panorama><pictureCount>3</pictureCount>");
  ASSERT_NO_FATAL_FAILURE(openSample());
  const cv::Mat shown = window.lastImage();
  const PicManager* opened = controller->panorama();

  for (int attempt = 1; attempt <= 2; ++attempt) {
    EXPECT_EQ(controller->openPanorama(dir.file("broken.xml").c_str()), -1);
    EXPECT_TRUE(refusedWith(window.errors().back(), kMalformedText));
    EXPECT_EQ(controller->panoramaPath(), sample().description);
    EXPECT_EQ(controller->panorama(), opened);
    EXPECT_EQ(window.drawCount(), 1) << "the canvas keeps the last image";
    EXPECT_TRUE(sameImage(window.lastImage(), shown));
    EXPECT_TRUE(sameImage(controller->displayImage(), shown));
  }
  // The good panorama was never released.
  EXPECT_EQ(countEntries("PanController::openPanorama couldn't open panorama"), 2);
  EXPECT_EQ(countEntries("PanController::openPanorama releasing previous panorama"), 0);

  controller->mouseScrolled(+1);  // the open panorama is recalculated
  EXPECT_EQ(window.drawCount(), 2);
  EXPECT_EQ(countStatus(window, kQuickView), 1);
  EXPECT_LT(meanDifference(window.lastImage(), scene().renderView(controller->camera())), 25.0);
}

TEST_F(PanoramaView, SameFileTwiceIsReadAgainAtTheCurrentCamera) {
  ASSERT_NO_FATAL_FAILURE(openSample());
  const PicManager* first = controller->panorama();
  controller->setCameraData(0.5, 1.2, 30.0);
  ASSERT_EQ(controller->openPanorama(sample().description.c_str()), 0);

  EXPECT_EQ(countEntries("PanController::openPanorama releasing previous panorama"), 1);
  // Read beside the first before that was released: a new collection.
  EXPECT_NE(controller->panorama(), first);
  EXPECT_EQ(controller->panoramaPath(), sample().description);
  EXPECT_EQ(countStatus(window, kRefinedView), 2);
  EXPECT_EQ(controller->camera().azimuth, 0.5);
  EXPECT_EQ(controller->camera().altitude, 1.2);
  EXPECT_EQ(controller->camera().f, 30.0);
  EXPECT_EQ(window.drawCount(), 3);
  EXPECT_LT(meanDifference(window.lastImage(), scene().renderView(controller->camera())), 25.0);
}

TEST_F(PanoramaView, ThreeWheelStepsGiveThreeQuickViewsAndOneRefinement) {
  // Real time and the real clock: the wiring as the viewer uses it.
  settleInRealTime();
  ASSERT_NO_FATAL_FAILURE(openSample());

  // The settle timer restarts inside the last step, so the refinement comes
  // at least a second after that step began.
  auto last = std::chrono::steady_clock::now();
  for (int step = 0; step < 3; ++step) {
    if (step > 0) {
      std::this_thread::sleep_for(300ms);
    }
    last = std::chrono::steady_clock::now();
    controller->mouseScrolled(+1);
  }
  EXPECT_EQ(countStatus(window, kQuickView), 3);
  EXPECT_FALSE(controller->settled()) << "the refinement is pending";
  ASSERT_TRUE(waitForEntries(kTimerRefined, 1));
  EXPECT_GE(std::chrono::steady_clock::now() - last, 1000ms);
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(countEntries(kTimerRefined), 1);
  EXPECT_EQ(countStatus(window, kRefinedView), 2) << "the opening's view and one refinement";
  EXPECT_EQ(window.drawCount(), 5);
  EXPECT_FALSE(controller->locked());
  EXPECT_TRUE(controller->settled());
  EXPECT_FALSE(enlargedPhotographs().empty());
  EXPECT_LT(meanDifference(window.lastImage(), scene().renderView(controller->camera())), 25.0);
}

// The view picture reuses the last view's image without clearing it: an
// assembly that gives up (here every photograph's size no longer matches its
// image) must still show black, never the last view again.
TEST_F(PanoramaView, AnAbandonedAssemblyShowsBlackNotTheLastView) {
  ASSERT_NO_FATAL_FAILURE(openSample());
  ASSERT_GT(cv::countNonZero(window.lastImage().reshape(1)), 0);
  for (const auto& picture : controller->panorama()->pictures) {
    picture->width += 1;
  }
  controller->setCameraData(controller->camera().azimuth + 0.01, controller->camera().altitude,
                            controller->camera().f);
  EXPECT_EQ(cv::countNonZero(window.lastImage().reshape(1)), 0);
  EXPECT_EQ(cv::countNonZero(controller->displayImage().reshape(1)), 0);
  for (const auto& picture : controller->panorama()->pictures) {
    picture->width -= 1;
  }
  // The next view is drawn again, into the same image.
  controller->setCameraData(controller->camera().azimuth + 0.01, controller->camera().altitude,
                            controller->camera().f);
  EXPECT_LT(meanDifference(window.lastImage(), scene().renderView(controller->camera())), 25.0);
}

TEST_F(PanoramaView, TransparencyBlendsTheSoundLayerOverTheView) {
  ASSERT_NO_FATAL_FAILURE(openSample());
  controller->openSoundData(sample().sound);
  EXPECT_EQ(window.repMaximum(), 2) << "three sound data sets";
  EXPECT_EQ(controller->soundSetCount(), 3);
  EXPECT_EQ(countStatus(window, kSoundView), 0);

  // Transparency 0: the view alone.
  controller->setTransValue(0);
  const cv::Mat view = window.lastImage();
  EXPECT_TRUE(sameImage(controller->displayImage(), view));
  EXPECT_EQ(countStatus(window, kSoundView), 0);

  // 100: the sound image is computed once and shown at full weight.
  controller->setTransValue(100);
  EXPECT_EQ(countStatus(window, kSoundView), 1);
  const cv::Mat sound = window.lastImage();
  EXPECT_FALSE(sameImage(sound, view));

  // 50: both at half weight, only recomposed.
  controller->setTransValue(50);
  EXPECT_EQ(countStatus(window, kSoundView), 1);
  cv::Mat expected;
  cv::addWeighted(view, 0.5, sound, 0.5, 0.0, expected);
  EXPECT_TRUE(sameImage(window.lastImage(), expected));
  EXPECT_TRUE(sameImage(controller->displayImage(), expected));
  EXPECT_EQ(window.statusTexts().back().rfind("Focallength: 50.00, Azimuth: 0.00, Altitude: 90.00 Sound: ", 0), 0u);

  // A camera change with a visible layer hands over one composed image.
  const int draws = window.drawCount();
  controller->mouseScrolled(-1);
  EXPECT_EQ(window.drawCount(), draws + 1);
  EXPECT_EQ(countStatus(window, kSoundView), 2);
}

TEST_F(TallGatedView, WheelDuringALookAroundStepIsRefused) {
  ASSERT_NO_FATAL_FAILURE(openSample());

  window.closeGate();
  controller->mouseDraged(100, 0);
  ASSERT_TRUE(window.waitForHeld());  // a step is drawing, `locked` is set
  EXPECT_TRUE(controller->locked());
  const double first = controller->camera().azimuth;
  const double f = controller->camera().f;
  controller->mouseScrolled(+1);
  controller->setTransValue(30);
  EXPECT_EQ(countEntries(kWheelLocked), 1);
  EXPECT_EQ(countEntries(kSliderLocked), 1);
  EXPECT_EQ(controller->camera().f, f);
  EXPECT_EQ(controller->soundAlpha(), 0.0f);

  window.passOne();
  ASSERT_TRUE(window.waitForHeld());
  EXPECT_NEAR(controller->camera().azimuth - first, 0.0102845, 1e-7);
  EXPECT_EQ(countStatus(window, kQuickView), 2);

  controller->mouseReleased();
  window.openGate();
  controller->close();
  EXPECT_FALSE(controller->locked());
}

TEST_F(GatedView, SizeChangeDuringALookAroundNeverWritesOutsideAnImage) {
  settleAfter(50ms);
  ASSERT_NO_FATAL_FAILURE(openSample());

  window.closeGate();
  controller->mouseDraged(0, 40);
  ASSERT_TRUE(window.waitForHeld());
  controller->canvasSizeChanged(96, 72);  // while a step draws at 160 x 120
  const int quickViews = countStatus(window, kQuickView);
  window.openGate();
  ASSERT_TRUE(waitFor([&] { return countStatus(window, kQuickView) >= quickViews + 3; }));
  controller->mouseReleased();

  // Steps at the new size could not be copied into the old images (logged
  // and skipped); the settled size change re-creates them and shows the view
  // at the new size.
  ASSERT_TRUE(waitForEntries(kTimerResized, 1));
  ASSERT_TRUE(waitFor([&] { return window.lastImage().size() == cv::Size(96, 72); }));
  EXPECT_NE(logText().find("\tERR\trecalculatePanImage, copy outImage to currentPic, cvException: "),
            std::string::npos);
  controller->close();
  EXPECT_EQ(controller->displayImage().size(), cv::Size(96, 72));
  EXPECT_EQ(controller->camera().width, 96);
  EXPECT_EQ(controller->camera().height, 72);
}

TEST_F(PanoramaView, CloseWaitsForTheFreeThreadsAndTheTimer) {
  settleAfter(30ms);
  ASSERT_NO_FATAL_FAILURE(openSample());
  controller->mouseScrolled(+1);
  controller->close();

  const std::string log = logText();
  const std::size_t freed = log.find("\tPicLoader::freeUnneded");
  ASSERT_NE(freed, std::string::npos) << "the free thread ran before the log was closed";
  EXPECT_LT(freed, log.find("\tPanController::closePanorama\n"));
  EXPECT_TRUE(logEnded(log));
  EXPECT_EQ(controller->panorama(), nullptr);
  EXPECT_TRUE(controller->panoramaPath().empty());
  EXPECT_TRUE(controller->settled());
}
