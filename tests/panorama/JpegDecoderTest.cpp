#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "panorama/PhotoDecoder.h"
#include "support/JpegBytes.h"
#include "support/TempDir.h"

namespace {

// Sizes that cover one pixel, partial MCUs in either direction, a strip and
// a photograph-like odd size.
const cv::Size kSizes[] = {{1, 1}, {7, 5}, {17, 33}, {250, 3}, {641, 479}};

// Sensor-like photographs for sizes with room for a gradient, uniform noise
// (the hardest content for the entropy coder) for the smallest.
cv::Mat contentFor(cv::Size size, int channels, unsigned seed) {
  cv::Mat image;
  if (size.width >= 17) {
    image = grainyPhoto(size.width, size.height, 4.0, seed);
  } else {
    image.create(size, CV_8UC3);
    cv::RNG(seed).fill(image, cv::RNG::UNIFORM, 0, 256);
  }
  if (channels == 1) {
    cv::extractChannel(image, image, 1);
  } else if (channels == 4) {
    cv::Mat black(size, CV_8UC1);
    cv::RNG(seed + 1).fill(black, cv::RNG::UNIFORM, 0, 256);
    cv::merge(std::vector<cv::Mat>{image, black}, image);
  }
  return image;
}

// The decoder accepts the file and gives exactly imread's bytes.
void expectSameAsImread(const std::string& path, const std::string& what) {
  cv::Mat ours;
  std::string reason;
  ASSERT_TRUE(decodePhoto(path, &ours, &reason)) << what << ": " << reason;
  const cv::Mat reference = cv::imread(path, cv::IMREAD_COLOR);
  ASSERT_FALSE(reference.empty()) << what;
  ASSERT_EQ(ours.type(), CV_8UC3) << what;
  ASSERT_EQ(ours.size(), reference.size()) << what;
  cv::Mat differs;
  cv::compare(ours.reshape(1), reference.reshape(1), differs, cv::CMP_NE);
  EXPECT_EQ(cv::countNonZero(differs), 0) << what << ": bytes differ from imread";
}

struct ImwriteCase {
  const char* name;
  int channels;
  std::vector<int> params;
};

struct LibjpegCase {
  const char* name;
  int channels;
  JpegOptions options;
};

JpegOptions sampled(int h, int v) {
  JpegOptions options;
  options.lumaH = h;
  options.lumaV = v;
  return options;
}

JpegOptions with(JpegOptions options, bool progressive, bool arithmetic, int restartRows, JpegSpace space) {
  options.progressive = progressive;
  options.arithmetic = arithmetic;
  options.restartRows = restartRows;
  options.space = space;
  return options;
}

constexpr JpegSpace kYcc = JpegSpace::kYCbCr;

}  // namespace

class JpegIdentityImwrite : public ::testing::TestWithParam<ImwriteCase> {};

TEST_P(JpegIdentityImwrite, PixelsAreByteIdenticalToImread) {
  const ImwriteCase& c = GetParam();
  TempDir dir;
  unsigned seed = 1;
  for (const cv::Size size : kSizes) {
    const std::string path = dir.file("photo.jpg");
    ASSERT_TRUE(cv::imwrite(path, contentFor(size, c.channels, seed++), c.params));
    expectSameAsImread(path, std::string(c.name) + " " + std::to_string(size.width) + "x" +
                                 std::to_string(size.height));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Options, JpegIdentityImwrite,
    ::testing::Values(
        ImwriteCase{"default", 3, {}}, ImwriteCase{"quality 5", 3, {cv::IMWRITE_JPEG_QUALITY, 5}},
        ImwriteCase{"quality 100", 3, {cv::IMWRITE_JPEG_QUALITY, 100}},
        ImwriteCase{"progressive", 3, {cv::IMWRITE_JPEG_PROGRESSIVE, 1}},
        ImwriteCase{"optimized", 3, {cv::IMWRITE_JPEG_OPTIMIZE, 1}},
        ImwriteCase{"restart markers", 3, {cv::IMWRITE_JPEG_RST_INTERVAL, 2}},
        ImwriteCase{"luma and chroma quality", 3,
                    {cv::IMWRITE_JPEG_LUMA_QUALITY, 90, cv::IMWRITE_JPEG_CHROMA_QUALITY, 20}},
        ImwriteCase{"progressive optimized restart", 3,
                    {cv::IMWRITE_JPEG_PROGRESSIVE, 1, cv::IMWRITE_JPEG_OPTIMIZE, 1,
                     cv::IMWRITE_JPEG_RST_INTERVAL, 1}},
        ImwriteCase{"grey", 1, {}}, ImwriteCase{"grey progressive", 1, {cv::IMWRITE_JPEG_PROGRESSIVE, 1}}));

class JpegIdentityLibjpeg : public ::testing::TestWithParam<LibjpegCase> {};

TEST_P(JpegIdentityLibjpeg, PixelsAreByteIdenticalToImread) {
  const LibjpegCase& c = GetParam();
  TempDir dir;
  unsigned seed = 100;
  for (const cv::Size size : kSizes) {
    const std::string path = dir.file("photo.jpg");
    writeBytes(path, encodeJpeg(contentFor(size, c.channels, seed++), c.options));
    expectSameAsImread(path, std::string(c.name) + " " + std::to_string(size.width) + "x" +
                                 std::to_string(size.height));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, JpegIdentityLibjpeg,
    ::testing::Values(
        LibjpegCase{"4:4:4", 3, sampled(1, 1)}, LibjpegCase{"4:2:2", 3, sampled(2, 1)},
        LibjpegCase{"4:2:0", 3, sampled(2, 2)}, LibjpegCase{"4:4:0", 3, sampled(1, 2)},
        LibjpegCase{"4:1:1", 3, sampled(4, 1)},
        LibjpegCase{"4:2:0 progressive", 3, with(sampled(2, 2), true, false, 0, kYcc)},
        LibjpegCase{"4:2:2 progressive restart", 3, with(sampled(2, 1), true, false, 1, kYcc)},
        LibjpegCase{"4:4:4 restart every row", 3, with(sampled(1, 1), false, false, 1, kYcc)},
        LibjpegCase{"arithmetic", 3, with(sampled(2, 2), false, true, 0, kYcc)},
        LibjpegCase{"arithmetic progressive", 3, with(sampled(2, 1), true, true, 0, kYcc)},
        LibjpegCase{"grey", 1, with({}, false, false, 0, JpegSpace::kGrey)},
        LibjpegCase{"grey progressive restart", 1, with({}, true, false, 2, JpegSpace::kGrey)},
        LibjpegCase{"RGB without colour transform", 3, with(sampled(1, 1), false, false, 0, JpegSpace::kRgb)},
        LibjpegCase{"CMYK", 4, with(sampled(1, 1), false, false, 0, JpegSpace::kCmyk)},
        LibjpegCase{"YCCK 4:2:0", 4, with(sampled(2, 2), false, false, 0, JpegSpace::kYcck)},
        LibjpegCase{"YCCK progressive", 4, with(sampled(2, 2), true, false, 0, JpegSpace::kYcck)}));

TEST(JpegDecoder, ExifOrientationIsNeverAppliedSoTheStoredSizeAndPixelsStay) {
  TempDir dir;
  const cv::Mat photo = grainyPhoto(64, 48, 4.0, 3);
  const std::string plain = encodeJpeg(photo, {});
  for (int orientation = 1; orientation <= 8; ++orientation) {
    const std::string path = dir.file("oriented.jpg");
    writeBytes(path, withExifOrientation(plain, orientation));
    // OpenCV itself turns the image: proof that the tag is well formed.
    const bool turns = orientation >= 5;
    EXPECT_EQ(cv::imread(path, cv::IMREAD_COLOR).cols, turns ? 48 : 64) << orientation;

    cv::Mat ours;
    std::string reason;
    ASSERT_TRUE(decodePhoto(path, &ours, &reason)) << orientation << ": " << reason;
    EXPECT_EQ(ours.size(), cv::Size(64, 48)) << orientation;
    const cv::Mat stored = cv::imread(path, cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
    EXPECT_EQ(cv::norm(ours, stored, cv::NORM_INF), 0.0) << orientation;
  }
}

struct DamageCase {
  const char* name;
  JpegOptions options;
  double where;  // fraction of the entropy-coded data
  int length;    // bytes damaged
  bool invert;   // invert them, else overwrite with random bytes
};

class JpegDamagedInTheMiddle : public ::testing::TestWithParam<DamageCase> {};

TEST_P(JpegDamagedInTheMiddle, IsRefusedWithTheDecodersReason) {
  const DamageCase& c = GetParam();
  TempDir dir;
  const std::string jpeg = encodeJpeg(grainyPhoto(1000, 750, 4.0, 9), c.options);
  const std::size_t start = scanDataStart(jpeg);
  const auto at = start + static_cast<std::size_t>(c.where * static_cast<double>(jpeg.size() - start));
  std::string damaged = jpeg;
  std::mt19937 random(17);
  for (int i = 0; i < c.length; ++i) {
    char& byte = damaged[at + static_cast<std::size_t>(i)];
    byte = c.invert ? static_cast<char>(~byte) : static_cast<char>(random());
  }
  writeBytes(dir.file("damaged.jpg"), damaged);
  cv::Mat image(2, 2, CV_8UC3);
  std::string reason;
  EXPECT_FALSE(decodePhoto(dir.file("damaged.jpg"), &image, &reason));
  EXPECT_TRUE(image.empty());
  EXPECT_FALSE(reason.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, JpegDamagedInTheMiddle,
    ::testing::Values(DamageCase{"baseline random", {}, 0.3, 1024, false},
                      DamageCase{"baseline inverted", {}, 0.5, 1024, true},
                      DamageCase{"progressive random", with({}, true, false, 0, kYcc), 0.4, 1024, false},
                      DamageCase{"progressive inverted", with({}, true, false, 0, kYcc), 0.6, 1024, true},
                      DamageCase{"restart random", with({}, false, false, 1, kYcc), 0.5, 1024, false},
                      DamageCase{"restart inverted", with({}, false, false, 1, kYcc), 0.7, 1024, true},
                      DamageCase{"4:4:4 random", sampled(1, 1), 0.5, 1024, false}));

TEST(JpegDecoder, TruncatedFilesAreRefusedAsPrematureEnd) {
  TempDir dir;
  const cv::Mat photo = grainyPhoto(320, 240, 4.0, 5);
  for (const bool progressive : {false, true}) {
    const std::string jpeg = encodeJpeg(photo, with({}, progressive, false, 0, kYcc));
    const std::size_t scan = scanDataStart(jpeg);
    const std::size_t cuts[] = {scan / 2, scan, scan + (jpeg.size() - scan) / 2, jpeg.size() - 2,
                                jpeg.size() - 1};
    for (const std::size_t cut : cuts) {
      writeBytes(dir.file("cut.jpg"), jpeg.substr(0, cut));
      cv::Mat image;
      std::string reason;
      EXPECT_FALSE(decodePhoto(dir.file("cut.jpg"), &image, &reason)) << cut << " of " << jpeg.size();
      EXPECT_EQ(reason, "Premature end of JPEG file") << cut;
    }
  }
}

TEST(JpegDecoder, StrayBytesBeforeTheEndMarkerAreRefusedButDataAfterItIsIgnored) {
  TempDir dir;
  const std::string jpeg = encodeJpeg(grainyPhoto(96, 64, 4.0, 6), {});
  const std::string body = jpeg.substr(0, jpeg.size() - 2);

  writeBytes(dir.file("stray.jpg"), body + "0123456789" + "\xFF\xD9");
  cv::Mat image;
  std::string reason;
  EXPECT_FALSE(decodePhoto(dir.file("stray.jpg"), &image, &reason));
  // libjpeg counts the stray bytes its bit reader had not already taken in.
  EXPECT_EQ(reason.rfind("Corrupt JPEG data: ", 0), 0u) << reason;
  EXPECT_NE(reason.find("extraneous bytes before marker 0xd9"), std::string::npos) << reason;

  // Cameras append data after the image (a second picture, maker notes).
  writeBytes(dir.file("appended.jpg"), jpeg + "appended data");
  expectSameAsImread(dir.file("appended.jpg"), "appended");
}

namespace {

// The text that libjpeg's default message handler (OpenCV's) writes to the
// standard error while `work` runs.
std::string standardErrorOf(const std::function<void()>& work, const std::string& file) {
  std::fflush(stderr);
  const int saved = ::dup(2);
  const int capture = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ::dup2(capture, 2);
  ::close(capture);
  work();
  std::fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  return readWholeFile(file);
}

}  // namespace

// Small damage often leaves a valid stream (JPEG has no checksum): then
// neither decoder can tell. Whenever libjpeg can tell, inside imread it only
// prints a warning and returns the garbage; here the file is refused.
TEST(JpegDecoder, RefusesExactlyTheDamagedFilesOnWhichImreadWarnsOrFails) {
  TempDir dir;
  const cv::Mat photo = grainyPhoto(480, 360, 4.0, 11);
  int refusedCount = 0;
  int acceptedCount = 0;
  for (const bool progressive : {false, true}) {
    const std::string jpeg = encodeJpeg(photo, with({}, progressive, false, progressive ? 0 : 2, kYcc));
    const std::size_t start = scanDataStart(jpeg);
    std::mt19937 random(progressive ? 23 : 29);
    for (int trial = 0; trial < 40; ++trial) {
      std::string damaged = jpeg;
      const std::size_t at = start + random() % (jpeg.size() - start - 80);
      const std::size_t length = 1 + random() % 64;
      for (std::size_t i = 0; i < length; ++i) {
        damaged[at + i] = static_cast<char>(damaged[at + i] ^ static_cast<char>(1 + random() % 255));
      }
      writeBytes(dir.file("damaged.jpg"), damaged);
      cv::Mat reference;
      const std::string warnings = standardErrorOf(
          [&] { reference = cv::imread(dir.file("damaged.jpg"), cv::IMREAD_COLOR); }, dir.file("stderr.txt"));
      cv::Mat ours;
      std::string reason;
      const bool refused = !decodePhoto(dir.file("damaged.jpg"), &ours, &reason);
      EXPECT_EQ(refused, !warnings.empty() || reference.empty())
          << "damage at " << at << ": imread said '" << warnings << "', we said '" << reason << "'";
      if (!refused) {
        EXPECT_EQ(cv::norm(ours, reference, cv::NORM_INF), 0.0);
      }
      (refused ? refusedCount : acceptedCount)++;
    }
  }
  EXPECT_GT(refusedCount, 10);
  EXPECT_GT(acceptedCount, 10);
}

TEST(JpegDecoder, ProgressiveFilesOfUpToFiveHundredScansAreReadAndLongerOnesRefused) {
  TempDir dir;
  cv::Mat grey;
  cv::extractChannel(grainyPhoto(24, 16, 4.0, 13), grey, 0);
  struct ScanCase {
    int approximationBits;
    int scans;
    bool decodes;
  };
  const ScanCase cases[] = {{0, 64, true}, {6, 448, true}, {7, 512, false}, {10, 704, false}};
  for (const ScanCase& c : cases) {
    JpegOptions options;
    options.space = JpegSpace::kGrey;
    options.approximationBits = c.approximationBits;
    writeBytes(dir.file("scans.jpg"), encodeJpeg(grey, options));
    if (c.decodes) {
      expectSameAsImread(dir.file("scans.jpg"), std::to_string(c.scans) + " scans");
    } else {
      EXPECT_FALSE(cv::imread(dir.file("scans.jpg"), cv::IMREAD_COLOR).empty()) << "a valid file";
      cv::Mat image;
      std::string reason;
      EXPECT_FALSE(decodePhoto(dir.file("scans.jpg"), &image, &reason)) << c.scans;
      EXPECT_EQ(reason, "more than 500 scans") << c.scans;
    }
  }
}
