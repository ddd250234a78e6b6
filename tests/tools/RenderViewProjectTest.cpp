// panorama-render --write-pto: the stitcher project of a view. Opened again
// by this viewer, and rendered by the stitcher's remapper where it is
// installed, it must show the view panorama-render shows.
#include <gtest/gtest.h>


#include <cstdlib>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "SampleWriter.h"
#include "RenderRun.h"
#include "support/TempDir.h"

namespace {

// Mean absolute difference (grey levels, over the colour channels) of `a`
// and `b` (8-bit colour), both blurred by a Gaussian of 2 pixels, over the
// pixels where `painted` (8-bit, one channel) is 255, away from the others;
// the share of painted pixels goes to *paintedShare. The blur leaves out how each renderer samples
// thin lines (the remapper interpolates the full-size photographs, this
// viewer takes the nearest pixel of a scaled image: about 3 to 9 grey levels
// along the lines of the small sample), not a view misplaced by more than a
// pixel or two (a yaw of the wrong sign gives 10 to 20).
double meanDifference(const cv::Mat& a, const cv::Mat& b, const cv::Mat& painted,
                      double* paintedShare) {
  cv::Mat blurredA;
  cv::Mat blurredB;
  cv::GaussianBlur(a, blurredA, cv::Size(), 2.0);
  cv::GaussianBlur(b, blurredB, cv::Size(), 2.0);
  cv::Mat difference;
  cv::absdiff(blurredA, blurredB, difference);
  *paintedShare = static_cast<double>(cv::countNonZero(painted == 255)) / painted.total();
  // Only where the blur reached no unpainted pixel (three times its width).
  cv::Mat inner;
  cv::erode(painted == 255, inner, cv::Mat(), cv::Point(-1, -1), 6);
  const cv::Mat unpainted = inner == 0;
  const int count = cv::countNonZero(inner);
  if (count == 0) return 0.0;
  difference.setTo(cv::Scalar::all(0), unpainted);
  const cv::Scalar sum = cv::sum(difference);
  return (sum[0] + sum[1] + sum[2]) / (3.0 * count);
}

struct View {
  int width;
  int height;
  double f;
  double azimuth;
  double altitude;
  std::string arguments() const {
    return "--width " + std::to_string(width) + " --height " + std::to_string(height) + " --f " +
           std::to_string(f) + " --azimuth " + std::to_string(azimuth) + " --altitude " +
           std::to_string(altitude);
  }
};

// Views in every direction: below and above the horizon, across the seam
// at azimuth 180, far down, straight down. Their focal lengths give about as
// many pixels per degree as the small sample's photographs have.
const View kViews[] = {{320, 240, 50, 40, 70}, {300, 200, 40, -120, 110}, {280, 210, 45, 185, 90},
                       {240, 240, 35, 10, 20}, {200, 150, 40, 0, 0}};

class RenderViewProject : public SmallSampleSuite {};

TEST_F(RenderViewProject, ProjectOpenedAtTheStartViewShowsTheView) {
  // The project places the view at yaw 0, pitch 0: this viewer's start view
  // (azimuth 0, altitude 90) of the project, with the same canvas and focal
  // length, is the view again, drawn through the lens cameras of a project.
  for (const View& view : kViews) {
    TempDir work;
    const std::string what = view.arguments();
    RenderRun run =
        render("--panorama " + xml() + " " + what + " --out ours.png --write-pto view.pto");
    ASSERT_EQ(run.exitCode, 0) << what << "\n" << run.errors;
    View start = view;
    start.azimuth = 0.0;
    start.altitude = 90.0;
    run = render("--panorama view.pto " + start.arguments() + " --out again.png");
    ASSERT_EQ(run.exitCode, 0) << what << "\n" << run.errors;
    const cv::Mat ours = cv::imread("ours.png", cv::IMREAD_COLOR);
    const cv::Mat again = cv::imread("again.png", cv::IMREAD_COLOR);
    ASSERT_EQ(again.size(), ours.size()) << what;
    double share = 0.0;
    const cv::Mat everywhere(ours.size(), CV_8UC1, cv::Scalar(255));
    EXPECT_LT(meanDifference(ours, again, everywhere, &share), 3.0) << what;
  }
}

TEST_F(RenderViewProject, RemapperRendersTheViewFromTheProject) {
  if (std::system("command -v nona > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "nona (hugin-tools) not installed";
  }
  for (const View& view : kViews) {
    TempDir work;
    const std::string what = view.arguments();
    const RenderRun run =
        render("--panorama " + xml() + " " + what + " --out ours.png --write-pto view.pto");
    ASSERT_EQ(run.exitCode, 0) << what << "\n" << run.errors;
    ASSERT_EQ(std::system("nona -o remapped -m PNG view.pto > nona.txt 2>&1"), 0)
        << what << "\n" << readWholeFile("nona.txt");
    const cv::Mat ours = cv::imread("ours.png", cv::IMREAD_COLOR);
    const cv::Mat remapped = cv::imread("remapped.png", cv::IMREAD_UNCHANGED);
    ASSERT_EQ(remapped.size(), ours.size()) << what;
    ASSERT_EQ(remapped.channels(), 4) << what;
    cv::Mat colour;
    cv::Mat alpha;
    cv::cvtColor(remapped, colour, cv::COLOR_BGRA2BGR);
    cv::extractChannel(remapped, alpha, 3);
    double share = 0.0;
    EXPECT_LT(meanDifference(ours, colour, alpha, &share), 3.0) << what;
    EXPECT_GT(share, 0.99) << what;  // the sample covers the whole sphere
  }
}

TEST_F(RenderViewProject, ProjectIsRefusedWhereItCannotBeWritten) {
  TempDir work;
  struct Case {
    std::string arguments;
    int exitCode;
    std::string message;
  };
  const Case cases[] = {
      {"--sound " + sample_->file("pano/sound") + " --out x.png --write-pto v.pto", 2,
       "--write-pto needs --panorama and --out or --bench"},
      {"--panorama " + xml() + " --out x.png --write-pto missing/dir/v.pto", 5,
       "could not write missing/dir/v.pto: cannot write"},
      // A project's photographs are lens cameras, not the description's pinholes.
      {"--panorama view.pto --out x.png --write-pto again.pto", 5,
       "not pinholes of an XML description"},
  };
  ASSERT_EQ(render("--panorama " + xml() + " --out x.png --write-pto view.pto").exitCode, 0);
  for (const Case& c : cases) {
    const RenderRun run = render(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments;
    EXPECT_NE(run.errors.find(c.message), std::string::npos) << c.arguments << "\n" << run.errors;
  }
}

}  // namespace
