#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "SampleArguments.h"
#include "SampleProject.h"
#include "SampleWriter.h"
#include "panorama/Equirect360.h"
#include "panorama/LensPictures.h"
#include "panorama/PtoReader.h"
#include "support/TempDir.h"

// The project options on the command line and their errors.
TEST(SampleProjectArguments, OptionsAndTheirErrors) {
  SampleArguments parsed;
  std::string error;
  ASSERT_TRUE(SampleArguments::parse({"--format", "pto", "--projection", "10", "--hfov", "120",
                                      "--distortion", "0.01,-0.03,2e-3", "--shift", "-4.5,3",
                                      "--roll", "-12", "--exposure-spread", "1.5"},
                                     &parsed, &error))
      << error;
  const SampleOptions& o = parsed.options;
  EXPECT_TRUE(o.project);
  EXPECT_EQ(o.projection, 10);
  EXPECT_EQ(o.hfov, 120.0);
  EXPECT_EQ(o.distortion[0], 0.01);
  EXPECT_EQ(o.distortion[1], -0.03);
  EXPECT_EQ(o.distortion[2], 0.002);
  EXPECT_EQ(o.shift[0], -4.5);
  EXPECT_EQ(o.shift[1], 3.0);
  EXPECT_EQ(o.roll, -12.0);
  EXPECT_EQ(o.exposureSpread, 1.5);

  ASSERT_TRUE(SampleArguments::parse({"--equirect", "4000", "--equirect-crop", "100,50,2000,900",
                                      "--gpano"},
                                     &parsed, &error))
      << error;
  EXPECT_EQ(parsed.options.equirectWidth, 4000);
  EXPECT_EQ(parsed.options.equirect.left, 100);
  EXPECT_EQ(parsed.options.equirect.top, 50);
  EXPECT_EQ(parsed.options.equirect.width, 2000);
  EXPECT_EQ(parsed.options.equirect.height, 900);
  EXPECT_TRUE(parsed.options.equirect.metadata);

  const std::vector<std::vector<std::string>> bad = {
      {"--format", "tiff"},     {"--projection", "x"},     {"--hfov", "wide"},
      {"--distortion", "1,2"},  {"--distortion", "1,2,3,4"}, {"--shift", "1"},
      {"--roll", "1,2"},        {"--equirect", "0"},         {"--equirect-crop", "1,2,3"},
      {"--equirect-crop", "-1,0,10,10"}, {"--exposure-spread"}};
  for (const auto& arguments : bad) {
    error.clear();
    EXPECT_FALSE(SampleArguments::parse(arguments, &parsed, &error)) << arguments[0];
    EXPECT_FALSE(error.empty());
  }
}

// A written project reads back with the options' values: each photograph
// where the layout puts it, the lens as asked, odd photographs darker.
TEST(SampleProjectWriter, ProjectReadsBackWithTheOptionsValues) {
  TempDir dir;
  SampleOptions options = SampleOptions::small(dir.file("pto"));
  std::string error;
  ASSERT_TRUE(SampleLayout::parse("90:3,150:1", &options.layout, &error));
  options.project = true;
  options.projection = 3;
  options.hfov = 100.0;
  options.distortion[1] = -0.02;
  options.shift[0] = 6.0;
  options.shift[1] = -2.5;
  options.roll = 7.0;
  options.exposureSpread = 1.0;
  const SampleWriter writer(options);
  ASSERT_TRUE(writer.run(&error)) << error;
  EXPECT_EQ(writer.panoramaPath(), dir.file("pto/panorama.pto"));

  PtoReader reader;
  ASSERT_TRUE(reader.read(writer.panoramaPath())) << reader.error();
  const std::vector<PtoImage>& images = reader.project().images;
  ASSERT_EQ(images.size(), 4u);
  const double yaws[] = {0.0, -120.0, -240.0, -180.0};  // every second ring turned half a step
  const double pitches[] = {0.0, 0.0, 0.0, 60.0};
  for (std::size_t i = 0; i < images.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(images[i].width, 660);
    EXPECT_EQ(images[i].height, 440);
    EXPECT_TRUE(images[i].sizeChecked) << "the photograph has the project's size";
    EXPECT_EQ(images[i].projection, 3);
    EXPECT_EQ(images[i].hfov, 100.0);
    EXPECT_EQ(images[i].b, -0.02);
    EXPECT_EQ(images[i].d, 6.0);
    EXPECT_EQ(images[i].e, -2.5);
    EXPECT_EQ(images[i].roll, 7.0);
    EXPECT_NEAR(images[i].yaw, yaws[i], 1e-9);
    EXPECT_NEAR(images[i].pitch, pitches[i], 1e-9);
    EXPECT_EQ(images[i].eev, i % 2 == 1 ? 1.0 : 0.0);
  }
  // The darker photographs are darker.
  const double even = cv::mean(cv::imread(dir.file("pto/0.jpg")))[1];
  const double odd = cv::mean(cv::imread(dir.file("pto/1.jpg")))[1];
  EXPECT_LT(odd, even * 0.85);

  options.projection = 5;
  EXPECT_FALSE(SampleWriter(options).run(&error));
  EXPECT_NE(error.find("projection"), std::string::npos) << error;
}

// A 360-degree photograph is described as the whole sphere, or with GPano
// metadata as the part written; a part outside the whole is refused.
TEST(SampleProjectWriter, Photo360IsDescribedAsWritten) {
  TempDir dir;
  SampleOptions options = SampleOptions::small(dir.file("sphere"));
  options.equirectWidth = 720;
  std::string error;
  ASSERT_TRUE(SampleWriter(options).run(&error)) << error;
  Equirect360 whole;
  ASSERT_TRUE(readEquirect360(dir.file("sphere/panorama360.jpg"), &whole, &error)) << error;
  EXPECT_EQ(whole.imageWidth, 720);
  EXPECT_EQ(whole.imageHeight, 360);
  EXPECT_TRUE(whole.wholeSphere);
  EXPECT_FALSE(whole.fromMetadata);

  options.directory = dir.file("part");
  options.equirect.left = 180;
  options.equirect.top = 60;
  options.equirect.width = 360;
  options.equirect.height = 200;
  ASSERT_TRUE(SampleWriter(options).run(&error)) << error;
  Equirect360 part;
  ASSERT_TRUE(readEquirect360(dir.file("part/panorama360.jpg"), &part, &error)) << error;
  EXPECT_TRUE(part.fromMetadata);
  EXPECT_FALSE(part.wholeSphere);
  EXPECT_EQ(part.imageWidth, 360);
  EXPECT_EQ(part.imageHeight, 200);
  EXPECT_NEAR(part.azimuthLeft, 90.0, 1e-9);
  EXPECT_NEAR(part.azimuthRight, -90.0, 1e-9);
  EXPECT_NEAR(part.altitudeTop, 150.0, 1e-9);
  EXPECT_NEAR(part.altitudeBottom, 50.0, 1e-9);
  // The lens the sample maker rendered it through is the one the viewer
  // makes of that description.
  EquirectCrop crop = options.equirect;
  crop.fullWidth = 720;
  const Lens made = equirectLens(crop);
  const Lens read = lensOf360(part);
  EXPECT_EQ(read.projection, made.projection);
  EXPECT_EQ(read.width, made.width);
  EXPECT_EQ(read.height, made.height);
  EXPECT_NEAR(read.hfovDegrees, made.hfovDegrees, 1e-9);
  EXPECT_NEAR(read.d, made.d, 1e-9);
  EXPECT_NEAR(read.e, made.e, 1e-9);

  options.directory = dir.file("outside");
  options.equirect.left = 600;
  EXPECT_FALSE(SampleWriter(options).run(&error));
  EXPECT_NE(error.find("outside"), std::string::npos) << error;
}
