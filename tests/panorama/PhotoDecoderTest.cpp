#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "panorama/PhotoDecoder.h"
#include "support/JpegBytes.h"
#include "support/PipeRescue.h"
#include "support/TempDir.h"

namespace {

// A field of /proc/self/status in kB ("VmRSS", "VmHWM"), or -1.
long statusKb(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) {
      return std::stol(line.substr(field.size() + 1));
    }
  }
  return -1;
}

// Lets the peak resident size (VmHWM) start again from the current one.
bool resetPeakMemory() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear) && statusKb("VmHWM") >= 0;
}

// How much the peak resident size rose above the current one during
// `work`, in MB; -1 where the peak cannot be reset.
double peakGrowthMb(const std::function<void()>& work) {
  if (!resetPeakMemory()) return -1.0;
  const long before = statusKb("VmRSS");
  work();
  return static_cast<double>(statusKb("VmHWM") - before) / 1024.0;
}

double secondsOf(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

struct HeaderCase {
  const char* name;
  std::string bytes;
  PhotoFormat format;
  int width;
  int height;
  int components;
};

TEST(PhotoDecoder, HeaderGivesFormatSizeAndComponentsWithoutDecoding) {
  TempDir dir;
  const cv::Mat photo = grainyPhoto(37, 21, 4.0, 1);
  cv::Mat grey;
  cv::extractChannel(photo, grey, 0);
  cv::Mat cmyk;
  cv::merge(std::vector<cv::Mat>{photo, grey}, cmyk);
  std::vector<unsigned char> png;
  cv::imencode(".png", photo, png);
  std::vector<unsigned char> greyPng;
  cv::imencode(".png", grey, greyPng);
  JpegOptions greyJpeg;
  greyJpeg.space = JpegSpace::kGrey;
  JpegOptions ycck;
  ycck.space = JpegSpace::kYcck;
  const std::string colour = encodeJpeg(photo, {});
  // Only the markers: everything after the start of the scan is cut off.
  const std::string headOnly = colour.substr(0, scanDataStart(colour) + 1);
  const HeaderCase cases[] = {
      {"colour JPEG", colour, PhotoFormat::kJpeg, 37, 21, 3},
      {"grey JPEG", encodeJpeg(grey, greyJpeg), PhotoFormat::kJpeg, 37, 21, 1},
      {"YCCK JPEG", encodeJpeg(cmyk, ycck), PhotoFormat::kJpeg, 37, 21, 4},
      {"JPEG cut after its markers", headOnly, PhotoFormat::kJpeg, 37, 21, 3},
      {"JPEG declaring 16000 x 16000", withDeclaredSize(colour, 16000, 16000), PhotoFormat::kJpeg, 16000,
       16000, 3},
      {"colour PNG", std::string(png.begin(), png.end()), PhotoFormat::kPng, 37, 21, 3},
      {"grey PNG", std::string(greyPng.begin(), greyPng.end()), PhotoFormat::kPng, 37, 21, 1},
  };
  for (const HeaderCase& c : cases) {
    writeBytes(dir.file("photo.jpg"), c.bytes);
    PhotoHeader header;
    std::string reason;
    ASSERT_TRUE(readPhotoHeader(dir.file("photo.jpg"), &header, &reason)) << c.name << ": " << reason;
    EXPECT_EQ(header.format, c.format) << c.name;
    EXPECT_EQ(header.width, c.width) << c.name;
    EXPECT_EQ(header.height, c.height) << c.name;
    EXPECT_EQ(header.components, c.components) << c.name;
  }
}

struct RefusalCase {
  const char* name;
  std::string path;  // made by the test
  std::string reason;
  bool headerReadable;  // the damage lies after the header
};

TEST(PhotoDecoder, RefusesWhatIsNoPhotographWithoutBlockingAndNamesWhy) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.file("pipe.jpg").c_str(), 0600), 0);
  std::filesystem::create_directory(dir.file("folder.jpg"));
  writeBytes(dir.file("empty.jpg"), "");
  writeBytes(dir.file("text.jpg"), "not a photograph\n");
  cv::imwrite(dir.file("bitmap.bmp"), grainyPhoto(8, 8, 0.0, 1));
  std::vector<unsigned char> png;
  cv::imencode(".png", grainyPhoto(40, 30, 4.0, 1), png);
  std::string cutPng(png.begin(), png.begin() + static_cast<long>(png.size() / 2));
  writeBytes(dir.file("cut.png"), cutPng);
  std::string badCrc(png.begin(), png.end());
  badCrc[badCrc.size() / 2] = static_cast<char>(~badCrc[badCrc.size() / 2]);
  writeBytes(dir.file("bad-crc.png"), badCrc);
  writeBytes(dir.file("short-png.jpg"), std::string(png.begin(), png.begin() + 12));

  const RefusalCase cases[] = {
      {"named pipe", dir.file("pipe.jpg"), "a named pipe, not a regular file", false},
      {"directory", dir.file("folder.jpg"), "a directory, not a regular file", false},
      {"device", "/dev/zero", "a character device, not a regular file", false},
      {"missing", dir.file("missing.jpg"), "no such file", false},
      {"empty", dir.file("empty.jpg"), "empty file", false},
      {"text", dir.file("text.jpg"), "neither a JPEG nor a PNG file", false},
      {"bitmap", dir.file("bitmap.bmp"), "neither a JPEG nor a PNG file", false},
      {"PNG cut in half", dir.file("cut.png"), "damaged or unsupported PNG data", true},
      {"PNG with a damaged chunk", dir.file("bad-crc.png"), "damaged or unsupported PNG data", true},
      {"PNG cut in its header", dir.file("short-png.jpg"), "PNG file without a complete header", false},
  };
  for (const RefusalCase& c : cases) {
    cv::Mat image(3, 3, CV_8UC3);
    std::string reason;
    bool decoded = true;
    ASSERT_TRUE(endsWithoutBlocking(dir.file("pipe.jpg"), [&] { decoded = decodePhoto(c.path, &image, &reason); }))
        << c.name << " blocked";
    EXPECT_FALSE(decoded) << c.name;
    EXPECT_TRUE(image.empty()) << c.name;
    EXPECT_EQ(reason, c.reason) << c.name;
    PhotoHeader header;
    std::string headerReason;
    ASSERT_TRUE(endsWithoutBlocking(dir.file("pipe.jpg"),
                                    [&] { decoded = readPhotoHeader(c.path, &header, &headerReason); }));
    EXPECT_EQ(decoded, c.headerReadable) << c.name;
    EXPECT_EQ(headerReason, c.headerReadable ? "" : c.reason) << c.name;
  }
}

TEST(PhotoDecoder, PngUnderAnyNameGivesImreadsPixels) {
  TempDir dir;
  const cv::Mat photo = grainyPhoto(53, 31, 4.0, 2);
  cv::Mat grey;
  cv::extractChannel(photo, grey, 2);
  cv::Mat withAlpha;
  cv::merge(std::vector<cv::Mat>{photo, grey}, withAlpha);
  cv::Mat deep;
  photo.convertTo(deep, CV_16UC3, 257.0);
  for (const cv::Mat& image : {photo, grey, withAlpha, deep}) {
    std::vector<unsigned char> png;
    ASSERT_TRUE(cv::imencode(".png", image, png));
    writeBytes(dir.file("photo.jpg"), std::string(png.begin(), png.end()));
    cv::Mat ours;
    std::string reason;
    ASSERT_TRUE(decodePhoto(dir.file("photo.jpg"), &ours, &reason)) << image.channels() << ": " << reason;
    const cv::Mat reference = cv::imread(dir.file("photo.jpg"), cv::IMREAD_COLOR);
    ASSERT_EQ(ours.type(), CV_8UC3);
    ASSERT_EQ(ours.size(), reference.size());
    EXPECT_EQ(cv::norm(ours, reference, cv::NORM_INF), 0.0) << image.channels() << " channels";
  }
}

struct LimitCase {
  const char* name;
  std::uint64_t maxPixels;
  bool decodes;
  const char* reason;
};

TEST(PhotoDecoder, PixelLimitCountsWidthTimesHeightInclusive) {
  TempDir dir;
  const cv::Mat photo = grainyPhoto(641, 479, 4.0, 3);  // 307039 pixels
  std::vector<unsigned char> png;
  cv::imencode(".png", photo, png);
  writeBytes(dir.file("photo.jpg"), encodeJpeg(photo, {}));
  writeBytes(dir.file("photo.png"), std::string(png.begin(), png.end()));
  const LimitCase cases[] = {
      {"default", kMaxPhotoPixels, true, ""},
      {"exactly", 307039, true, ""},
      {"one pixel short", 307038, false, "641 x 479 pixels (0.3 megapixels) exceed the limit of 0.3 megapixels"},
      {"far below", 1000, false, "641 x 479 pixels (0.3 megapixels) exceed the limit of 0.0 megapixels"},
  };
  for (const LimitCase& c : cases) {
    for (const char* file : {"photo.jpg", "photo.png"}) {
      cv::Mat image;
      std::string reason;
      EXPECT_EQ(decodePhoto(dir.file(file), &image, &reason, c.maxPixels), c.decodes) << c.name << " " << file;
      EXPECT_EQ(reason, c.reason) << c.name << " " << file;
      EXPECT_EQ(image.size(), c.decodes ? photo.size() : cv::Size()) << c.name << " " << file;
    }
  }
}

TEST(PhotoDecoder, HugeDeclaredSizeIsRefusedFromTheHeaderAtOnceAndWithoutItsMemory) {
  TempDir dir;
  // A small valid JPEG and PNG whose headers claim 16000 x 16000 pixels: an
  // image of 768 MB that imread would allocate and fill.
  const cv::Mat photo = grainyPhoto(64, 64, 4.0, 4);
  writeBytes(dir.file("huge.jpg"), withDeclaredSize(encodeJpeg(photo, {}), 16000, 16000));
  std::vector<unsigned char> png;
  cv::imencode(".png", photo, png);
  std::string hugePng(png.begin(), png.end());
  for (int offset : {16, 20}) {  // IHDR width and height, big-endian
    hugePng[offset] = 0;
    hugePng[offset + 1] = 0;
    hugePng[offset + 2] = static_cast<char>(16000 >> 8);
    hugePng[offset + 3] = static_cast<char>(16000 & 0xFF);
  }
  writeBytes(dir.file("huge.png"), hugePng);
  for (const char* file : {"huge.jpg", "huge.png"}) {
    cv::Mat image;
    std::string reason;
    bool decoded = true;
    double seconds = 0.0;
    const double growth = peakGrowthMb(
        [&] { seconds = secondsOf([&] { decoded = decodePhoto(dir.file(file), &image, &reason); }); });
    EXPECT_FALSE(decoded) << file;
    EXPECT_EQ(reason, "16000 x 16000 pixels (256.0 megapixels) exceed the limit of 200.0 megapixels") << file;
    EXPECT_LT(seconds, 1.0) << file;
    if (growth >= 0.0) {
      EXPECT_LT(growth, 8.0) << file << ": MB taken for a refused image";
    }
  }
}

TEST(PhotoDecoder, LargePhotographTakesAboutItsOwnSizeInMemory) {
  TempDir dir;
  const int width = 4000;
  const int height = 3000;
  // Smooth content made cheaply: a few random pixels enlarged.
  cv::Mat seed(6, 8, CV_8UC3);
  cv::RNG(5).fill(seed, cv::RNG::UNIFORM, 0, 256);
  cv::Mat large;
  cv::resize(seed, large, cv::Size(width, height), 0, 0, cv::INTER_LINEAR);
  cv::imwrite(dir.file("large.jpg"), large, {cv::IMWRITE_JPEG_QUALITY, 80});
  const double imageMb = width * height * 3.0 / (1024.0 * 1024.0);
  cv::Mat image;
  std::string reason;
  bool decoded = false;
  const double growth = peakGrowthMb([&] { decoded = decodePhoto(dir.file("large.jpg"), &image, &reason); });
  ASSERT_TRUE(decoded) << reason;
  EXPECT_EQ(image.size(), cv::Size(width, height));
  if (growth < 0.0) {
    GTEST_SKIP() << "the peak resident size cannot be reset here";
  }
  EXPECT_LT(growth, imageMb + 8.0) << "image " << imageMb << " MB";
}
