#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include <opencv2/core.hpp>

#include "ControllerTestSupport.h"
#include "SampleScene.h"
#include "SampleWriter.h"
#include "panorama/PicManager.h"

using namespace controllertest;
namespace fs = std::filesystem;

namespace {

const char* const kQuickView = "Recalculate panorama image";
const char* const kRefinedView = "Recalculate panorama image (refinement)";
const char* const kStepEntry =
    "PanController::updateLookAround lookAround is true and locked is false, set new CamData";

// One small sample panorama (photographs, description and sound data) for
// every test of the suite; each test still runs in its own working directory.
class PanoramaView : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string pattern = (fs::temp_directory_path() / "pano-controller-sample-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      error_ = "cannot create the sample directory";
      return;
    }
    root_ = pattern;
    const SampleWriter writer(SampleOptions::small((root_ / "sample").string()));
    scene_ = new SampleScene;
    if (writer.makeScene(scene_, &error_) && writer.write(*scene_, &error_)) {
      description_ = writer.descriptionPath();
      sound_ = (root_ / "sample" / SampleWriter::kSoundDirectory).string();
    }
  }

  static void TearDownTestSuite() {
    delete scene_;
    scene_ = nullptr;
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  void SetUp() override { ASSERT_FALSE(description_.empty()) << error_; }

  static std::unique_ptr<PanController> makeController(gui& window) {
    auto controller = std::make_unique<PanController>(&window, 50.0, M_PI / 2, 0.0);
    makeTimerFast(*controller, std::chrono::hours(1));
    return controller;
  }

  // The sample's description with another lens and sensor, in this test's
  // directory (the photographs are found beside it, so they are linked).
  std::string describedWith(const std::string& focalLength, const std::string& sensorWidth,
                            const std::string& sensorHeight) {
    std::string text = readWholeFile(description_);
    auto replaceAfter = [&](const std::string& anchor, const std::string& tag, const std::string& value) {
      const std::size_t from = text.find(anchor);
      const std::size_t open = text.find("<" + tag + ">", from);
      const std::size_t close = text.find("</" + tag + ">", open);
      text.replace(open + tag.size() + 2, close - open - tag.size() - 2, value);
    };
    replaceAfter("<lens>", "focalLength", focalLength);
    replaceAfter("<sensor>", "width", sensorWidth);
    replaceAfter("<sensor>", "height", sensorHeight);
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(description_).parent_path())) {
      if (entry.path().extension() == ".jpg") {
        fs::create_symlink(entry.path(), dir.path() / entry.path().filename());
      }
    }
    writeFile(dir.path() / "lens.xml", text);
    return dir.file("lens.xml");
  }

  static fs::path root_;
  static std::string error_;
  static std::string description_;
  static std::string sound_;
  static SampleScene* scene_;

  TempDir dir;
};

fs::path PanoramaView::root_;
std::string PanoramaView::error_;
std::string PanoramaView::description_;
std::string PanoramaView::sound_;
SampleScene* PanoramaView::scene_ = nullptr;

double meanDifference(const cv::Mat& a, const cv::Mat& b) {
  cv::Mat difference;
  cv::absdiff(a, b, difference);
  const cv::Scalar mean = cv::mean(difference);
  return (mean[0] + mean[1] + mean[2]) / 3.0;
}

}  // namespace

TEST_F(PanoramaView, OpeningShowsARefinedFirstViewAndTheLensInformation) {
  RecordingGui window(160, 120);
  auto controller = makeController(window);
  ASSERT_EQ(controller->openPanorama(description_.c_str()), 0);

  const std::string log = logText();
  std::size_t at = 0;
  for (const char* step : {"PanController::openPanorama", "PanController::openPanorama file exists",
                           "PanController::openPanorama picManager->openPanorama",
                           "PanController::openPanorama panorama has been opened sucessfully ",
                           "PanController::openPanorama pcalculate Overlap",
                           "PanController::openPanorama start panorama Image recalculation",
                           "PanController::recalculatePanImage get overlapped images",
                           "PanController::recalculatePanImage start puzzling",
                           "PanController::recalculateDisplayImage()"}) {
    at = log.find(std::string("\t") + step + "\n", at);
    ASSERT_NE(at, std::string::npos) << step;
  }
  EXPECT_EQ(countStatus(window, kRefinedView), 1);
  EXPECT_EQ(countStatus(window, kQuickView), 0);
  EXPECT_EQ(window.statusTexts().back(), "Focallength: 50.00, Azimuth: 0.00, Altitude: 90.00");
  EXPECT_EQ(window.infoText(), "Objektiv: Sample lens 4 mm\nBrennweite: 4\nSensorgroesse: 5x3");
  EXPECT_TRUE(fs::exists(dir.path() / "LUT.jpg"));

  // What the user sees is the scene as the camera looks at it.
  ASSERT_EQ(window.drawCount(), 1);
  const cv::Mat shown = window.lastImage();
  EXPECT_TRUE(sameImage(shown, controller->dspParams->currentPic));
  EXPECT_LT(meanDifference(shown, scene_->renderView(controller->camera())), 25.0);
}

TEST_F(PanoramaView, InformationTextTruncatesTheSensorSize) {
  const std::string path = describedWith("50", "36.0", "24.9");
  RecordingGui window(160, 120);
  auto controller = makeController(window);
  ASSERT_EQ(controller->openPanorama(path.c_str()), 0);
  EXPECT_EQ(window.infoText(), "Objektiv: Sample lens 4 mm\nBrennweite: 50\nSensorgroesse: 36x24");
}

TEST_F(PanoramaView, MissingFileWhileOpenKeepsThePanoramaAnswering) {
  RecordingGui window(160, 120);
  auto controller = makeController(window);
  ASSERT_EQ(controller->openPanorama(description_.c_str()), 0);

  EXPECT_EQ(controller->openPanorama(dir.file("missing.xml").c_str()), -3);
  EXPECT_EQ(window.errors(), std::vector<std::string>{"XML-Datei existiert nicht oder konnte nicht geoeffnet werden!"});
  EXPECT_EQ(controller->xmlPath, description_);
  EXPECT_EQ(countEntries("PanController::closePanorama"), 0);

  controller->mouseScrolled(+1);
  EXPECT_EQ(countStatus(window, kQuickView), 1);
  EXPECT_EQ(window.drawCount(), 2);
}

TEST_F(PanoramaView, MalformedFileAfterAGoodOneKeepsTheGoodOneOpenAndAnswering) {
  writeFile(dir.path() / "broken.xml", "<panorama><pictureCount>3</pictureCount>");
  RecordingGui window(160, 120);
  auto controller = makeController(window);
  ASSERT_EQ(controller->openPanorama(description_.c_str()), 0);
  const cv::Mat shown = window.lastImage();
  const PicManager* opened = controller->picManager.get();

  for (int attempt = 1; attempt <= 2; ++attempt) {
    EXPECT_EQ(controller->openPanorama(dir.file("broken.xml").c_str()), -1);
    EXPECT_EQ(window.errors().back(), "Fehler beim lesen der XML-Datei!");
    EXPECT_EQ(controller->xmlPath, description_);
    EXPECT_EQ(controller->picManager.get(), opened);
    EXPECT_NE(controller->picLoader, nullptr);
    EXPECT_NE(controller->puuzler, nullptr);
    EXPECT_EQ(window.drawCount(), 1) << "the canvas keeps the last image";
    EXPECT_TRUE(sameImage(window.lastImage(), shown));
  }
  // The good panorama was never released.
  EXPECT_EQ(countEntries("PanController::openPanorama couldn't open panorama"), 2);
  EXPECT_EQ(countEntries("PanController::openPanorama releasing previous panorama"), 0);
  EXPECT_EQ(countEntries("PanController::closePanorama"), 0);

  controller->mouseScrolled(+1);  // the open panorama is recalculated
  EXPECT_EQ(window.drawCount(), 2);
  EXPECT_EQ(countStatus(window, kQuickView), 1);
  EXPECT_LT(meanDifference(window.lastImage(), scene_->renderView(controller->camera())), 25.0);
}

TEST_F(PanoramaView, SameFileTwiceIsReadAgainAtTheCurrentCamera) {
  RecordingGui window(160, 120);
  auto controller = makeController(window);
  ASSERT_EQ(controller->openPanorama(description_.c_str()), 0);
  controller->setCameraData(0.5, 1.2, 30.0);
  ASSERT_EQ(controller->openPanorama(description_.c_str()), 0);

  EXPECT_EQ(countEntries("PanController::openPanorama releasing previous panorama"), 1);
  EXPECT_EQ(countEntries("PanController::closePanorama"), 1);
  EXPECT_EQ(countStatus(window, kRefinedView), 2);
  EXPECT_EQ(controller->camera().azimuth, 0.5);
  EXPECT_EQ(controller->camera().altitude, 1.2);
  EXPECT_EQ(controller->camera().f, 30.0);
  EXPECT_EQ(window.drawCount(), 3);
  EXPECT_LT(meanDifference(window.lastImage(), scene_->renderView(controller->camera())), 25.0);
}

TEST_F(PanoramaView, ThreeWheelStepsGiveThreeQuickViewsAndOneRefinement) {
  RecordingGui window(160, 120);
  auto controller = makeController(window);
  // Real time and the real clock: the wiring as the viewer uses it.
  controller->settleDelay = std::chrono::milliseconds(1000);
  controller->clock = [] { return std::time(nullptr); };
  ASSERT_EQ(controller->openPanorama(description_.c_str()), 0);

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
  ASSERT_TRUE(waitForEntries("A Sleep Thread ended and caused a refinement of the pan Image", 1));
  EXPECT_GE(std::chrono::steady_clock::now() - last, 1000ms);
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(countEntries("A Sleep Thread ended and caused a refinement of the pan Image"), 1);
  EXPECT_EQ(countStatus(window, kRefinedView), 2) << "the opening's view and one refinement";
  EXPECT_EQ(window.drawCount(), 5);
  EXPECT_FALSE(controller->locked.load());
}

TEST_F(PanoramaView, TransparencyBlendsTheSoundLayerOverTheView) {
  RecordingGui window(160, 120);
  auto controller = makeController(window);
  ASSERT_EQ(controller->openPanorama(description_.c_str()), 0);
  controller->openSoundData(sound_);
  EXPECT_EQ(window.repMaximum(), 2) << "three sound data sets";
  EXPECT_EQ(countEntries("PanController::recalculateSndImage start soundPicture calculation"), 0);

  // Transparency 0: the view alone.
  controller->setTransValue(0);
  const DspParams& dsp = *controller->dspParams;
  EXPECT_TRUE(sameImage(window.lastImage(), dsp.currentPic));

  // 100: the sound image is computed once and shown at full weight.
  controller->setTransValue(100);
  EXPECT_EQ(countEntries("PanController::recalculateSndImage start soundPicture calculation"), 1);
  EXPECT_TRUE(sameImage(window.lastImage(), dsp.currentSoundLayer));
  EXPECT_FALSE(sameImage(dsp.currentSoundLayer, dsp.currentPic));

  // 50: both at half weight, only recomposed.
  controller->setTransValue(50);
  EXPECT_EQ(countEntries("PanController::recalculateSndImage start soundPicture calculation"), 1);
  cv::Mat expected;
  cv::addWeighted(dsp.currentPic, 0.5, dsp.currentSoundLayer, 0.5, 0.0, expected);
  EXPECT_TRUE(sameImage(window.lastImage(), expected));
  EXPECT_EQ(window.statusTexts().back().rfind("Focallength: 50.00, Azimuth: 0.00, Altitude: 90.00 Sound: ", 0), 0u);

  // A camera change with a visible layer hands over one composed image.
  const int draws = window.drawCount();
  controller->mouseScrolled(-1);
  EXPECT_EQ(window.drawCount(), draws + 1);
  EXPECT_EQ(countEntries("PanController::recalculateSndImage start soundPicture calculation"), 2);
}

TEST_F(PanoramaView, WheelDuringALookAroundStepIsRefused) {
  GatedGui window(160, 480);  // 480 pixels high: dragScale 678.82
  auto controller = makeController(window);
  ASSERT_EQ(controller->openPanorama(description_.c_str()), 0);

  window.closeGate();
  controller->mouseDraged(100, 0);
  ASSERT_TRUE(window.waitForHeld());  // a step is drawing, `locked` is set
  const double first = controller->camera().azimuth;
  const double f = controller->camera().f;
  controller->mouseScrolled(+1);
  controller->setTransValue(30);
  EXPECT_EQ(countEntries("PanController::mouseScrolled, LOCKED"), 1);
  EXPECT_EQ(countEntries("PanController::setTransValue, LOCKED"), 1);
  EXPECT_EQ(controller->camera().f, f);

  window.passOne();
  ASSERT_TRUE(window.waitForHeld());
  EXPECT_NEAR(controller->camera().azimuth - first, 0.0102845, 1e-7);
  EXPECT_EQ(countStatus(window, kQuickView), 2);

  controller->mouseReleased();
  window.openGate();
  controller->close();
  EXPECT_FALSE(controller->locked.load());
}

TEST_F(PanoramaView, SizeChangeDuringALookAroundNeverWritesOutsideAnImage) {
  GatedGui window(160, 120);
  auto controller = makeController(window);
  controller->settleDelay = 50ms;
  ASSERT_EQ(controller->openPanorama(description_.c_str()), 0);

  window.closeGate();
  controller->mouseDraged(0, 40);
  ASSERT_TRUE(window.waitForHeld());
  controller->canvasSizeChanged(96, 72);  // while a step draws at 160 x 120
  window.openGate();
  ASSERT_TRUE(waitForEntries(kStepEntry, 3));
  controller->mouseReleased();

  // Steps at the new size could not be copied into the old images; the
  // settled size change re-creates them and shows the view at the new size.
  ASSERT_TRUE(waitForEntries("A sleep thread ended long enough after the canvas was resized", 1));
  ASSERT_TRUE(waitFor([&] { return window.lastImage().size() == cv::Size(96, 72); }));
  EXPECT_NE(logText().find("\tERR\trecalculatePanImage, copy outImage to currentPic, cvException: "),
            std::string::npos);
  controller->close();
  EXPECT_EQ(controller->dspParams->currentPic.size(), cv::Size(96, 72));
}

TEST_F(PanoramaView, CloseWaitsForTheFreeThreadsAndTheTimer) {
  RecordingGui window(160, 120);
  auto controller = makeController(window);
  controller->settleDelay = 30ms;
  ASSERT_EQ(controller->openPanorama(description_.c_str()), 0);
  controller->mouseScrolled(+1);
  controller->close();

  const std::string log = logText();
  const std::size_t freed = log.find("\tPicLoader::freeUnneded");
  ASSERT_NE(freed, std::string::npos) << "the free thread ran before the log was closed";
  EXPECT_LT(freed, log.find("\tPanController::closePanorama\n"));
  EXPECT_EQ(log.substr(log.size() - 31), "\tLogger::~Logger I'll be back!\n");
  EXPECT_EQ(controller->picLoader, nullptr);
}
