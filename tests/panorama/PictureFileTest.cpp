#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "panorama/PictureFile.h"
#include "support/JpegBytes.h"
#include "support/TempDir.h"

namespace {

bool sameBytes(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0.0;
}

}  // namespace

// Every EXIF orientation: the pixels are read as stored, so a photograph
// from a turned camera still has the size its description gives; described
// at the turned size it is refused as another size, never turned to fit.
TEST(PictureFile, PixelsAreReadAsStoredWhateverTheOrientation) {
  TempDir dir;
  const std::string plain = encodeJpeg(grainyPhoto(40, 30, 4.0, 3), JpegOptions{});
  for (int orientation = 1; orientation <= 8; ++orientation) {
    const std::string path = dir.file("o" + std::to_string(orientation) + ".jpg");
    writeBytes(path, withExifOrientation(plain, orientation));
    const cv::Mat stored = cv::imread(path, cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
    cv::Mat read;
    std::string reason;
    EXPECT_EQ(readPictureFile(path, 40, 30, &read, &reason), PictureFileProblem::kNone)
        << orientation << ": " << reason;
    EXPECT_TRUE(sameBytes(read, stored)) << "orientation " << orientation;
    if (orientation >= 5) {
      EXPECT_EQ(readPictureFile(path, 30, 40, &read, &reason), PictureFileProblem::kOtherSize)
          << orientation;
    }
  }
}

// Files that give no image name their problem and leave no pixels behind.
TEST(PictureFile, RefusalsNameTheProblem) {
  TempDir dir;
  const std::string good = encodeJpeg(grainyPhoto(40, 30, 4.0, 5), JpegOptions{});
  writeBytes(dir.file("good.jpg"), good);
  writeBytes(dir.file("cut.jpg"), good.substr(0, good.size() * 2 / 3));
  std::string noisy = good;
  for (std::size_t at = scanDataStart(good) + 20; at < good.size() - 40; at += 7) noisy[at] = '\xFF';
  writeBytes(dir.file("noisy.jpg"), noisy);
  writeBytes(dir.file("text.jpg"), "not an image at all");
  writeBytes(dir.file("huge.jpg"), withDeclaredSize(good, 20000, 15000));
  // Formats the strict decoder does not read go through imread as before.
  const cv::Mat other = grainyPhoto(40, 30, 4.0, 6);
  ASSERT_TRUE(cv::imwrite(dir.file("other.bmp"), other));
  struct Case {
    const char* file;
    int width;
    int height;
    PictureFileProblem problem;
  };
  const std::vector<Case> cases = {
      {"good.jpg", 40, 30, PictureFileProblem::kNone},
      {"good.jpg", 30, 40, PictureFileProblem::kOtherSize},
      {"missing.jpg", 40, 30, PictureFileProblem::kMissing},
      {"cut.jpg", 40, 30, PictureFileProblem::kDamaged},
      {"noisy.jpg", 40, 30, PictureFileProblem::kDamaged},
      {"text.jpg", 40, 30, PictureFileProblem::kDamaged},
      {"huge.jpg", 40, 30, PictureFileProblem::kTooLarge},
      {"good.jpg", 20000, 15000, PictureFileProblem::kTooLarge},
      {"other.bmp", 40, 30, PictureFileProblem::kNone},
      {"other.bmp", 41, 30, PictureFileProblem::kOtherSize},
  };
  for (const Case& c : cases) {
    cv::Mat read = cv::Mat::ones(2, 2, CV_8UC3);
    std::string reason;
    const PictureFileProblem problem =
        readPictureFile(dir.file(c.file), c.width, c.height, &read, &reason);
    EXPECT_EQ(problem, c.problem) << c.file << " " << c.width << "x" << c.height << ": " << reason;
    EXPECT_EQ(read.empty(), problem != PictureFileProblem::kNone) << c.file;
    EXPECT_EQ(reason.empty(), problem == PictureFileProblem::kNone) << c.file;
    if (std::string(c.file) == "other.bmp" && problem == PictureFileProblem::kNone) {
      EXPECT_TRUE(sameBytes(read, other));
    }
  }
  EXPECT_NE(pictureFileProblemText(PictureFileProblem::kDamaged).find("beschädigt"), std::string::npos);
  EXPECT_NE(pictureFileProblemText(PictureFileProblem::kTooLarge).find("200 Megapixel"), std::string::npos);
  EXPECT_TRUE(pictureFileProblemText(PictureFileProblem::kMissing).empty());
}
