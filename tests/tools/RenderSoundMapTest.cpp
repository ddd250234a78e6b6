// panorama-render's sound map options: the peak as JSON, the threshold, the
// legend and the marker drawn as the controller draws them, and the usage
// errors of options that need sound data.
#include <gtest/gtest.h>


#include <cmath>
#include <cstdlib>
#include <string>

#include <opencv2/imgcodecs.hpp>

#include "SampleWriter.h"
#include "controller/PanController.h"
#include "sound/SoundData.h"
#include "sound/SoundPeak.h"
#include "support/RecordingGui.h"
#include "RenderRun.h"
#include "support/TempDir.h"

namespace {

// The number after "key": in a one-line JSON object; NaN when missing.
double jsonNumber(const std::string& json, const std::string& key) {
  const std::size_t at = json.find("\"" + key + "\":");
  return at == std::string::npos ? std::nan("") : std::atof(json.c_str() + at + key.size() + 3);
}

class RenderSoundMap : public SmallSampleSuite {};

TEST_F(RenderSoundMap, PeakPrintsTheLoudestDirectionOfTheShownSet) {
  TempDir work;
  SoundData data;
  ASSERT_EQ(data.load(sound().c_str()), 0);
  for (int layer = 0; layer < data.count; ++layer) {
    const RenderRun run = render("--sound " + sound() + " --layer " + std::to_string(layer) + " --peak");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    SoundPeak peak;
    ASSERT_TRUE(findSoundPeak(data, layer, &peak));
    EXPECT_EQ(run.out.rfind("{\"set\":\"" + data.getName(layer) + "\", ", 0), 0u) << run.out;
    EXPECT_NEAR(jsonNumber(run.out, "azimuth"), peak.azimuth * 180 / M_PI, 1e-4) << run.out;
    EXPECT_NEAR(jsonNumber(run.out, "altitude"), peak.altitude * 180 / M_PI, 1e-4) << run.out;
    EXPECT_NEAR(jsonNumber(run.out, "value"), peak.value, 1e-4) << run.out;
    EXPECT_EQ(run.out.substr(run.out.size() - 2), "}\n");
  }
}

TEST_F(RenderSoundMap, SoundMapOptionsDrawWhatTheControllerDraws) {
  TempDir work;
  const RenderRun run = render("--panorama " + xml() + " --sound " + sound() +
                         " --layer 1 --alpha 0.5 --width 320 --height 240 --azimuth 80"
                         " --threshold 0.3 --legend --marker --out view.png");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  const cv::Mat written = cv::imread("view.png", cv::IMREAD_COLOR);

  RecordingGui window(320, 240);
  PanController controller(&window, 50.0, M_PI / 2, 80.0 * M_PI / 180.0);
  controller.setThresholdValue(0.3);
  controller.setLegendVisible(true);
  controller.setPeakMarkerVisible(true);
  ASSERT_EQ(controller.openPanorama(xml().c_str()), 0);
  ASSERT_EQ(controller.openSoundData(sound().c_str()), 0);
  controller.setRepValue(1);
  controller.setTransValue(50);
  const cv::Mat shown = controller.displayImage();
  controller.close();
  ASSERT_EQ(written.size(), shown.size());
  EXPECT_EQ(cv::norm(written, shown, cv::NORM_INF), 0.0);

  // Without the options the same view is another image.
  ASSERT_EQ(render("--panorama " + xml() + " --sound " + sound() +
                   " --layer 1 --alpha 0.5 --width 320 --height 240 --azimuth 80 --out plain.png")
                .exitCode, 0);
  EXPECT_GT(cv::norm(cv::imread("plain.png", cv::IMREAD_COLOR), written, cv::NORM_INF), 0.0);
}

TEST_F(RenderSoundMap, OptionsThatNeedSoundOrARangeAreUsageErrors) {
  TempDir work;
  struct Case {
    std::string arguments;
    std::string message;
  };
  const Case cases[] = {
      {"--panorama " + xml() + " --peak", "--peak needs --sound"},
      {"--panorama " + xml() + " --threshold 0.5 --out x.png", "--threshold needs --sound"},
      {"--panorama " + xml() + " --bench-sound 5", "--bench-sound needs --sound"},
      {"--sound " + sound() + " --threshold 1.5 --out x.png", "bad value for --threshold"},
      {"--sound " + sound() + " --threshold -0.1 --out x.png", "bad value for --threshold"},
      {"--sound " + sound() + " --threshold nan --out x.png", "bad value for --threshold"},
      {"--sound " + sound() + " --threshold", "missing value after --threshold"},
      {"--sound " + sound() + " --peak --out x.png", "give exactly one of"},
      {"--sound " + sound() + " --bench-sound 0", "bad value for --bench-sound"},
  };
  for (const Case& c : cases) {
    const RenderRun run = render(c.arguments);
    EXPECT_EQ(run.exitCode, 2) << c.arguments;
    EXPECT_NE(run.errors.find(c.message), std::string::npos) << c.arguments << "\n" << run.errors;
    EXPECT_NE(run.errors.find("usage: panorama-render"), std::string::npos) << c.arguments;
  }
  EXPECT_FALSE(std::filesystem::exists("x.png"));
}

TEST_F(RenderSoundMap, SoundBenchPrintsOneJsonObject) {
  TempDir work;
  const RenderRun run = render("--sound " + sound() + " --alpha 0.5 --bench-sound 20");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  for (const char* key : {"pointer_us_median", "pointer_us_p95", "peak_ms", "cells",
                          "threshold_ms_median", "alpha_ms_median"}) {
    EXPECT_GE(jsonNumber(run.out, key), 0.0) << key << " in " << run.out;
  }
  EXPECT_EQ(run.out.front(), '{');
  EXPECT_EQ(run.out.substr(run.out.size() - 2), "}\n");
}

}  // namespace
