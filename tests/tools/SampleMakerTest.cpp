#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "SampleArguments.h"
#include "SampleLayout.h"
#include "SampleScene.h"
#include "SampleSound.h"
#include "SampleWriter.h"
#include "camera/Frame.h"
#include "panorama/PicManager.h"
#include "sound/SoundData.h"
#include "support/TempDir.h"

namespace {

constexpr double kPi = 3.141592653589793;

bool isRed(const cv::Vec3b& c) { return c[2] > 180 && c[1] < 100 && c[0] < 100; }
bool isOrange(const cv::Vec3b& c) { return c[2] > 200 && c[1] > 100 && c[1] < 180 && c[0] < 80; }

// Where the direction (altitude, azimuth) in degrees lands in a photograph of
// width x height pixels with focal length fp pixels taken at (a, z) degrees:
// the column grows to the image's right, the row downwards.
cv::Point2d pixelOf(double altitude, double azimuth, double a, double z, double fp, int width, int height) {
  const ViewFrame photo = viewFrame(a * kPi / 180, z * kPi / 180, 1.0, 1.0, 1.0);
  const ViewFrame target = viewFrame(altitude * kPi / 180, azimuth * kPi / 180, 1.0, 1.0, 1.0);
  const Vec3& v = target.d;
  const double e = dot(v, photo.d);
  return {width / 2.0 + fp * dot(v, photo.r) / e, height / 2.0 - fp * dot(v, photo.u) / e};
}

// The smallest sum, over a grid of directions, of the view assembly's weights
// (1 at a photograph's centre, 1e-7 at its corners) of the photographs that
// see the direction.
double weakestCoverage(const SampleLayout& layout, int width, int height, double fp) {
  std::vector<ViewFrame> frames;
  for (const SampleDirection& d : layout.directions()) {
    frames.push_back(viewFrame(d.altitude * kPi / 180, d.azimuth * kPi / 180, 1.0, 1.0, 1.0));
  }
  const double corner2 = width * width / 4.0 + height * height / 4.0;
  double weakest = 1e9;
  for (double polar = 0.5; polar < 180.0; polar += 1.0) {
    for (double azimuth = 0.5; azimuth < 360.0; azimuth += 1.0) {
      const double p = polar * kPi / 180;
      const double z = azimuth * kPi / 180;
      const Vec3 v{std::sin(p) * std::sin(z), std::cos(p), std::sin(p) * std::cos(z)};
      double sum = 0.0;
      for (const ViewFrame& frame : frames) {
        const double e = dot(v, frame.d);
        if (e <= 0.0) continue;
        const double x = fp * dot(v, frame.r) / e;
        const double y = fp * dot(v, frame.u) / e;
        if (std::fabs(x) >= width / 2.0 - 1 || std::fabs(y) >= height / 2.0 - 1) continue;
        sum += std::pow(1e-7, (x * x + y * y) / corner2);
      }
      weakest = std::min(weakest, sum);
    }
  }
  return weakest;
}

}  // namespace

class SmallSample : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    directory_ = new TempDir();
    std::string error;
    scene_ = new SampleScene();
    ASSERT_TRUE(writeSmallSample(directory_->file("pan"), &error, scene_)) << error;
  }
  static void TearDownTestSuite() {
    delete scene_;
    delete directory_;
  }
  static std::string file(const std::string& name) { return directory_->file("pan/" + name); }

  static TempDir* directory_;
  static SampleScene* scene_;
};

TempDir* SmallSample::directory_ = nullptr;
SampleScene* SmallSample::scene_ = nullptr;

TEST_F(SmallSample, ReaderOpensItWithTheLayoutsDirections) {
  PicManager manager;
  ASSERT_EQ(manager.openPanorama(file("panorama.xml").c_str()), PicManager::kRead) << manager.error;
  const std::vector<SampleDirection> directions = SampleLayout::standard().directions();
  ASSERT_EQ(manager.pictureCount, 28);
  ASSERT_EQ(directions.size(), 28u);
  EXPECT_EQ(manager.lensName, "Sample lens 4 mm");
  EXPECT_EQ(manager.focalLength, 4);
  for (int id = 0; id < 28; ++id) {
    const Picture* picture = manager.findById(id);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->fullWidth, 660);
    EXPECT_EQ(picture->fullHeight, 440);
    EXPECT_EQ(picture->fileName, file(std::to_string(id) + ".jpg"));
    EXPECT_EQ(picture->altitude, directions[id].altitude * kPi / 180.0);
    EXPECT_EQ(picture->azimuth, directions[id].azimuth * kPi / 180.0);
    EXPECT_EQ(picture->preview.cols, 101);  // the height ratio 67 / 440 wins
    EXPECT_EQ(picture->preview.rows, 67);
    // The plane is the same seen from the sensor or from the pixels.
    EXPECT_NEAR(picture->sensorWidth, picture->basePitch * picture->fullWidth, 1e-12);
    EXPECT_NEAR(picture->sensorHeight, picture->basePitch * picture->fullHeight, 1e-12);
  }
}

TEST_F(SmallSample, PhotographsAreOrientedLikeTheSystemsFrame) {
  const double fp = SampleOptions::small("").focalPixels();
  // Photograph 6 looks at altitude 70, azimuth 0: the red disc straight ahead
  // of the start camera (altitude 90) lies above its centre.
  const cv::Mat low = cv::imread(file("6.jpg"));
  ASSERT_EQ(low.size(), cv::Size(660, 440));
  const cv::Point2d red = pixelOf(90, 0, 70, 0, fp, 660, 440);
  EXPECT_NEAR(red.x, 330, 1e-9);
  EXPECT_LT(red.y, 100);
  EXPECT_TRUE(isRed(low.at<cv::Vec3b>(cvRound(red.y), cvRound(red.x))));
  EXPECT_FALSE(isRed(low.at<cv::Vec3b>(220, 330)));

  // Photograph 7 looks at altitude 70, azimuth 45: the orange disc at azimuth
  // 60 lies in its left half, as a larger azimuth turns to the left.
  const cv::Mat left = cv::imread(file("7.jpg"));
  const cv::Point2d orange = pixelOf(60, 60, 70, 45, fp, 660, 440);
  EXPECT_LT(orange.x, 300);
  EXPECT_TRUE(isOrange(left.at<cv::Vec3b>(cvRound(orange.y), cvRound(orange.x))));
}

TEST_F(SmallSample, PhotographsShowTheSceneAlongEachPixelsRay) {
  const double fp = SampleOptions::small("").focalPixels();
  const std::vector<SampleDirection> directions = SampleLayout::standard().directions();
  for (int id : {0, 9, 20, 27}) {
    const cv::Mat photo = cv::imread(file(std::to_string(id) + ".jpg"));
    const ViewFrame frame =
        viewFrame(directions[id].altitude * kPi / 180, directions[id].azimuth * kPi / 180, 1.0, 1.0, 1.0);
    double error = 0.0;
    int samples = 0;
    for (int y = 5; y < 440; y += 37) {
      for (int c = 3; c < 660; c += 41) {
        const Vec3 ray = (c - 330.0) * frame.r - (y - 220.0) * frame.u + fp * frame.d;
        const cv::Vec3b expected = scene_->colourAlong(ray);
        const cv::Vec3b actual = photo.at<cv::Vec3b>(y, c);
        for (int i = 0; i < 3; ++i) error += std::abs(expected[i] - actual[i]);
        samples += 3;
      }
    }
    EXPECT_LT(error / samples, 6.0) << "photograph " << id;
  }
}

TEST_F(SmallSample, SceneViewOfTheStartCameraLooksAtTheRedDisc) {
  CamData camera;
  const cv::Mat view = scene_->renderView(camera);
  ASSERT_EQ(view.size(), cv::Size(700, 480));
  EXPECT_TRUE(isRed(view.at<cv::Vec3b>(240, 350)));
  const cv::Vec3b sky = view.at<cv::Vec3b>(5, 100);
  const cv::Vec3b ground = view.at<cv::Vec3b>(470, 100);
  EXPECT_GT(sky[0], sky[2]) << "blue sky above";
  EXPECT_GT(ground[1], ground[0]) << "green ground below";
  camera.width = 0;
  EXPECT_TRUE(scene_->renderView(camera).empty());
}

TEST_F(SmallSample, SoundSetsPeakAtTheirSources) {
  SoundData sound;
  ASSERT_EQ(sound.load(file("sound").c_str()), 0);
  ASSERT_EQ(sound.count, 3);
  int ahead = -1;
  for (int i = 0; i < sound.count; ++i) {
    EXPECT_EQ(sound.sizes[i], std::make_pair(72, 36));
    for (float value : sound.grids[i]) {
      ASSERT_GE(value, 0.04f);
      ASSERT_LE(value, 0.99991f);
    }
    if (sound.names[i].find("voraus") != std::string::npos) ahead = i;
  }
  ASSERT_GE(ahead, 0);
  const std::vector<float>& grid = sound.grids[ahead];
  const auto peak = std::max_element(grid.begin(), grid.end()) - grid.begin();
  const int row = static_cast<int>(peak / 72);
  const int column = static_cast<int>(peak % 72);
  EXPECT_TRUE(row == 17 || row == 18) << row;
  EXPECT_TRUE(column == 0 || column == 71) << column;
  EXPECT_GT(grid[peak], 0.8f);
}

TEST(SampleLayout, StandardLayoutCoversEverywhereWellInsideSomePhotograph) {
  const SampleLayout layout = SampleLayout::standard();
  EXPECT_EQ(layout.directions().size(), 28u);
  // The sums start at 0.0001, so a sum of 0.001 keeps that start under 10 %.
  EXPECT_GT(weakestCoverage(layout, 3000, 2000, SampleOptions().focalPixels()), 0.001);
  EXPECT_GT(weakestCoverage(layout, 660, 440, SampleOptions::small("").focalPixels()), 0.001);
}

TEST(SampleLayout, RingsAreStaggeredAndParsedBack) {
  SampleLayout layout;
  std::string error;
  ASSERT_TRUE(SampleLayout::parse("90:4,120:2", &layout, &error)) << error;
  const std::vector<SampleDirection> directions = layout.directions();
  ASSERT_EQ(directions.size(), 6u);
  const double azimuths[] = {0, 90, 180, 270, 90, 270};
  for (int i = 0; i < 6; ++i) {
    EXPECT_DOUBLE_EQ(directions[i].azimuth, azimuths[i]) << i;
    EXPECT_DOUBLE_EQ(directions[i].altitude, i < 4 ? 90.0 : 120.0);
  }
  SampleLayout again;
  ASSERT_TRUE(SampleLayout::parse(SampleLayout::standard().text(), &again, &error));
  EXPECT_EQ(again.text(), "0:1,35:5,70:8,110:8,145:5,180:1");

  for (const char* bad : {"", "90", "90:0", "200:3", "-1:3", "90:3,", "a:b", "90:3:4", "90:1001", ",90:3"}) {
    SampleLayout untouched = SampleLayout::standard();
    EXPECT_FALSE(SampleLayout::parse(bad, &untouched, &error)) << bad;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(untouched.directions().size(), 28u);
  }
}

TEST(SampleArguments, OptionsAndTheirErrors) {
  SampleArguments parsed;
  std::string error;
  ASSERT_TRUE(SampleArguments::parse({}, &parsed, &error));
  EXPECT_EQ(parsed.options.directory, "sample");
  EXPECT_EQ(parsed.options.photoWidth, 3000);
  EXPECT_EQ(parsed.options.photoHeight, 2000);
  EXPECT_EQ(parsed.options.focalLength, 18);
  EXPECT_EQ(parsed.options.layout.directions().size(), 28u);
  EXPECT_FALSE(parsed.help);

  ASSERT_TRUE(SampleArguments::parse({"--size", "640x480", "--focal", "5", "--layout", "90:3", "--from",
                                      "scene.png", "--sound-grid", "36x18", "out"},
                                     &parsed, &error))
      << error;
  EXPECT_EQ(parsed.options.directory, "out");
  EXPECT_EQ(parsed.options.photoWidth, 640);
  EXPECT_EQ(parsed.options.photoHeight, 480);
  EXPECT_EQ(parsed.options.focalLength, 5);
  EXPECT_EQ(parsed.options.layout.directions().size(), 3u);
  EXPECT_EQ(parsed.options.fromImage, "scene.png");
  EXPECT_EQ(parsed.options.soundColumns, 36);
  EXPECT_EQ(parsed.options.soundRows, 18);

  EXPECT_EQ(parsed.options.grain, 0.0);
  ASSERT_TRUE(SampleArguments::parse({"--grain", "2.5"}, &parsed, &error)) << error;
  EXPECT_EQ(parsed.options.grain, 2.5);

  ASSERT_TRUE(SampleArguments::parse({"-h"}, &parsed, &error));
  EXPECT_TRUE(parsed.help);

  const std::vector<std::vector<std::string>> bad = {
      {"--size", "640"}, {"--size", "0x10"}, {"--focal", "18.5"}, {"--focal", "0"}, {"--bogus"},
      {"a", "b"},        {"-o", "a", "b"},   {"--layout"},        {"--layout", "x"}, {"-o", ""},
      {"--grain", "-1"}, {"--grain", "x"},   {"--grain", "65"},   {"--grain", "4x"}, {"--grain", "."},
      {"--grain", ""},   {"--grain", "nan"}, {"--grain"}};
  for (const auto& arguments : bad) {
    error.clear();
    EXPECT_FALSE(SampleArguments::parse(arguments, &parsed, &error)) << arguments[0];
    EXPECT_FALSE(error.empty());
  }
}

TEST(SampleWriter, FromImagePhotographsThatImage) {
  TempDir dir;
  // Azimuths 0 ... 180 degrees blue, 180 ... 360 red.
  cv::Mat scene(90, 180, CV_8UC3, cv::Scalar(0, 0, 255));
  scene.colRange(0, 90).setTo(cv::Scalar(255, 0, 0));
  ASSERT_TRUE(cv::imwrite(dir.file("scene.png"), scene));

  SampleOptions options = SampleOptions::small(dir.file("pan"));
  options.fromImage = dir.file("scene.png");
  std::string error;
  ASSERT_TRUE(SampleLayout::parse("90:4", &options.layout, &error));
  ASSERT_TRUE(SampleWriter(options).run(&error)) << error;
  const cv::Scalar left = cv::mean(cv::imread(dir.file("pan/1.jpg")));   // azimuth 90
  const cv::Scalar right = cv::mean(cv::imread(dir.file("pan/3.jpg")));  // azimuth 270
  EXPECT_GT(left[0], 240);
  EXPECT_LT(left[2], 15);
  EXPECT_GT(right[2], 240);
  EXPECT_LT(right[0], 15);

  options.fromImage = dir.file("missing.png");
  EXPECT_FALSE(SampleWriter(options).run(&error));
  EXPECT_NE(error.find("missing.png"), std::string::npos) << error;
}

TEST(SampleWriter, GrainIsSeededGaussianNoisePerPixelAndChannel) {
  const cv::Mat flat(400, 600, CV_8UC3, cv::Scalar(128, 128, 128));
  EXPECT_EQ(withGrain(flat, 0.0, 3).data, flat.data);
  const cv::Mat grainy = withGrain(flat, 4.0, 3);
  ASSERT_EQ(grainy.size(), flat.size());
  ASSERT_EQ(grainy.type(), flat.type());
  cv::Scalar mean;
  cv::Scalar deviation;
  cv::meanStdDev(grainy, mean, deviation);
  for (int c = 0; c < 3; ++c) {
    EXPECT_NEAR(mean[c], 128.0, 0.05) << c;
    EXPECT_NEAR(deviation[c], 4.0, 0.1) << c;  // rounding adds 1/12 to the variance
  }
  // Each channel draws on its own: the channels' noise is uncorrelated.
  std::vector<cv::Mat> channels;
  cv::split(grainy, channels);
  cv::Mat blue;
  cv::Mat green;
  channels[0].convertTo(blue, CV_64F, 1.0, -128.0);
  channels[1].convertTo(green, CV_64F, 1.0, -128.0);
  EXPECT_LT(std::fabs(blue.dot(green) / blue.total()), 0.2);
  EXPECT_EQ(cv::norm(grainy, withGrain(flat, 4.0, 3), cv::NORM_INF), 0.0) << "the same ID, the same grain";
  EXPECT_GT(cv::norm(grainy, withGrain(flat, 4.0, 4), cv::NORM_L1) / grainy.total(), 10.0) << "another ID";
  // Clipped at the ends of the range instead of wrapping round.
  const cv::Mat black = withGrain(cv::Mat(50, 50, CV_8UC1, cv::Scalar(0)), 8.0, 1);
  EXPECT_NEAR(cv::mean(black)[0], 8.0 * 0.3989, 0.6);  // the mean of max(0, noise)
}

TEST(SampleWriter, GrainZeroWritesTheDefaultPhotographsAndGrainChangesThem) {
  TempDir dir;
  const std::vector<std::string> common = {"--size", "330x220", "--focal", "2", "--layout", "90:2", "--sound-grid",
                                           "36x18"};
  auto write = [&](const std::string& name, std::vector<std::string> extra) {
    std::vector<std::string> arguments = common;
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    arguments.push_back(dir.file(name));
    SampleArguments parsed;
    std::string error;
    ASSERT_TRUE(SampleArguments::parse(arguments, &parsed, &error)) << error;
    ASSERT_TRUE(SampleWriter(parsed.options).run(&error)) << error;
  };
  write("plain", {});
  write("zero", {"--grain", "0"});
  write("grain", {"--grain", "4"});
  write("again", {"--grain", "4.0"});
  for (const std::string name : {"0.jpg", "1.jpg", "panorama.xml"}) {
    SCOPED_TRACE(name);
    const std::string plain = readWholeFile(dir.file("plain/" + name));
    ASSERT_FALSE(plain.empty());
    EXPECT_EQ(readWholeFile(dir.file("zero/" + name)), plain);
    EXPECT_EQ(readWholeFile(dir.file("again/" + name)), readWholeFile(dir.file("grain/" + name)));
    if (name == "panorama.xml") {
      EXPECT_EQ(readWholeFile(dir.file("grain/" + name)), plain);
      continue;
    }
    EXPECT_NE(readWholeFile(dir.file("grain/" + name)), plain);
    const cv::Mat smooth = cv::imread(dir.file("plain/" + name));
    const cv::Mat grainy = cv::imread(dir.file("grain/" + name));
    ASSERT_EQ(grainy.size(), cv::Size(330, 220));
    cv::Mat difference;
    cv::subtract(grainy, smooth, difference, cv::noArray(), CV_32F);
    cv::Scalar mean;
    cv::Scalar deviation;
    cv::meanStdDev(difference.reshape(1), mean, deviation);
    EXPECT_NEAR(mean[0], 0.0, 0.5);
    EXPECT_GT(deviation[0], 2.0);  // the JPEG coding smooths some of the grain away
    EXPECT_LT(deviation[0], 5.0);
  }
}

TEST(SampleWriter, BadOptionsAndUnwritableDirectoriesFail) {
  TempDir dir;
  std::ofstream(dir.file("blocker")) << "a file";
  SampleOptions options = SampleOptions::small(dir.file("blocker/pan"));
  std::string error;
  EXPECT_FALSE(SampleWriter(options).run(&error));
  EXPECT_FALSE(error.empty());

  options = SampleOptions::small(dir.file("pan"));
  options.grain = -1.0;
  error.clear();
  EXPECT_FALSE(SampleWriter(options).run(&error));
  EXPECT_FALSE(error.empty());

  options = SampleOptions::small(dir.file("pan"));
  options.photoWidth = 8;
  error.clear();
  EXPECT_FALSE(SampleWriter(options).run(&error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(std::filesystem::exists(dir.file("pan")));
}

TEST(SampleProgram, WritesAPanoramaTheReaderOpens) {
  const char* bin = std::getenv("PANO_BIN_DIR");
  if (bin == nullptr) GTEST_SKIP() << "PANO_BIN_DIR not set";
  TempDir dir;
  const std::string program = std::string(bin) + "/panorama-sample";
  const std::string command = "'" + program + "' --size 330x220 --focal 2 --layout 90:4 --sound-grid 36x18 '" +
                              dir.file("out") + "' > out.txt 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << readWholeFile(dir.file("out.txt"));
  PicManager manager;
  ASSERT_EQ(manager.openPanorama(dir.file("out/panorama.xml").c_str()), PicManager::kRead) << manager.error;
  EXPECT_EQ(manager.pictureCount, 4);
  EXPECT_EQ(manager.focalLength, 2);

  const int status = std::system(("'" + program + "' --bogus > out.txt 2>&1").c_str());
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_NE(readWholeFile(dir.file("out.txt")).find("Usage"), std::string::npos);
  EXPECT_EQ(std::system(("'" + program + "' --help > out.txt").c_str()), 0);
}
