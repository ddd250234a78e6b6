#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <opencv2/imgcodecs.hpp>

#include "SampleWriter.h"
#include "camera/CamData.h"
#include "controller/PanController.h"
#include "panorama/Picture.h"
#include "sound/SoundData.h"
#include "sound/SoundImage.h"
#include "support/RecordingGui.h"
#include "RenderRun.h"
#include "support/TempDir.h"

namespace {

class RenderTool : public SmallSampleSuite {};

TEST_F(RenderTool, UsageErrorsAndFailuresHaveTheirExitCodes) {
  TempDir work;
  struct Case {
    std::string arguments;
    int exitCode;
    std::string message;
  };
  const Case cases[] = {
      {"--bogus 1 --out x.png", 2, "unknown option --bogus"},
      {"--panorama " + xml(), 2, "give exactly one of --out and --bench"},
      {"--out x.png", 2, "nothing to render"},
      {"--panorama " + xml() + " --width 0 --out x.png", 2, "bad value for --width"},
      {"--panorama " + xml() + " --alpha 1.5 --out x.png", 2, "bad value for --alpha"},
      {"--panorama missing.xml --out x.png", 3,
       "XML-Datei existiert nicht oder konnte nicht geoeffnet werden!"},
      {"--panorama " + sample_->file("pano/panorama.xml") + ".missing --out x.png", 3,
       "XML-Datei existiert nicht oder konnte nicht geoeffnet werden!"},
      // A JPEG is a 360-degree photograph, a ".pto" file a stitcher project:
      // the reader's reason follows the message.
      {"--panorama " + sample_->file("pano/0.jpg") + " --out x.png", 3,
       "Fehler beim Lesen des 360°-Fotos!\n\nSeitenverhältnis 3:2 ist kein 360°-Foto"},
      {"--panorama missing.PTO --out x.png", 3,
       "Projektdatei existiert nicht oder konnte nicht geöffnet werden!"},
      {"--panorama " + work.file("empty.pto") + " --out x.png", 3,
       "Fehler beim Lesen der Projektdatei!\n\n"},
      {"--panorama missing.jpeg --out x.png", 3,
       "360°-Foto existiert nicht oder konnte nicht geöffnet werden!"},
      {"--sound " + sample_->file("no-such-dir") + " --out x.png", 4,
       "Fehler beim Laden der Tondaten!!!"},
      {"--panorama " + xml() + " --out " + work.file("missing/dir/x.png"), 5, "could not write"},
      {"--panorama " + xml() + " --out x.unknownformat", 5, "could not write"},
  };
  std::FILE* empty = std::fopen(work.file("empty.pto").c_str(), "w");
  ASSERT_NE(empty, nullptr);
  std::fputs("# no photographs\n", empty);
  std::fclose(empty);
  for (const Case& c : cases) {
    const RenderRun run = render(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments;
    EXPECT_NE(run.errors.find(c.message), std::string::npos) << c.arguments << "\n" << run.errors;
  }
  // Usage errors print the usage text; failures of the input do not.
  EXPECT_NE(render("--bogus").errors.find("usage: panorama-render"), std::string::npos);
  EXPECT_EQ(render("--panorama missing.xml --out x.png").errors.find("usage:"), std::string::npos);
}

TEST_F(RenderTool, RenderedViewIsTheDisplayImageTheControllerHandsOver) {
  TempDir work;
  const RenderRun run = render("--panorama " + xml() +
                         " --width 320 --height 240 --f 30 --azimuth 40 --altitude 70 --out view.png");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  const cv::Mat written = cv::imread("view.png", cv::IMREAD_COLOR);
  ASSERT_EQ(written.cols, 320);
  ASSERT_EQ(written.rows, 240);

  RecordingGui window(320, 240);
  PanController controller(&window, 30.0, 70.0 * M_PI / 180.0, 40.0 * M_PI / 180.0);
  ASSERT_EQ(controller.openPanorama(xml().c_str()), 0);
  const cv::Mat shown = window.lastImage();
  controller.close();
  EXPECT_EQ(cv::norm(written, shown, cv::NORM_INF), 0.0);
  EXPECT_TRUE(std::filesystem::exists("vemraLogic.log"));
  EXPECT_TRUE(std::filesystem::exists("LUT.jpg"));
}

TEST_F(RenderTool, SoundOnlyRenderIsTheSoundImage) {
  TempDir work;
  const RenderRun run = render("--sound " + sound() + " --layer 1 --width 200 --height 150 --out sound.png");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  const cv::Mat written = cv::imread("sound.png", cv::IMREAD_COLOR);

  SoundData data;
  ASSERT_EQ(data.load(sound().c_str()), 0);
  CamData camera;
  camera.width = 200;
  camera.height = 150;
  camera.updateSensorWidth();
  auto view = Picture::forCamera(camera);
  ASSERT_EQ(computeSoundImage(view.get(), data, 1), 0);
  const cv::Mat expected = view->acquireImage();
  ASSERT_EQ(written.size(), expected.size());
  EXPECT_EQ(cv::norm(written, expected, cv::NORM_INF), 0.0);
}

TEST_F(RenderTool, BenchPrintsOneJsonObject) {
  TempDir work;
  const RenderRun run = render("--panorama " + xml() + " --bench 3");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  const std::string out = readWholeFile("stdout.txt");
  for (const char* key : {"\"photos\":28", "\"width\":700", "\"height\":480", "\"open_ms\":",
                          "\"quick_ms_median\":", "\"quick_ms_p95\":", "\"refine_ms\":",
                          "\"peak_rss_mb\":"}) {
    EXPECT_NE(out.find(key), std::string::npos) << key << " in " << out;
  }
  EXPECT_EQ(out.front(), '{');
  EXPECT_EQ(out.substr(out.size() - 2), "}\n");
}

}  // namespace
