// Saving the shown view: PNG and JPEG by extension, written whole or not at
// all, refusals with a German reason and nothing changed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "panorama/ImageOutput.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

cv::Mat sampleImage() {
  cv::Mat image(48, 64, CV_8UC3);
  cv::randu(image, 0, 255);
  return image;
}

}  // namespace

TEST(ImageOutput, ViewIsSavedAsPngOrJpegByItsExtension) {
  TempDir dir;
  const cv::Mat image = sampleImage();
  struct Case {
    std::string chosen;
    std::string written;
    bool lossless;
  };
  const Case cases[] = {{"view.png", "view.png", true},
                        {"ansicht", "ansicht.png", true},
                        {"Bild.JPG", "Bild.JPG", false},
                        {"bild.jpeg", "bild.jpeg", false},
                        {"Höhe ü.png", "Höhe ü.png", true}};
  for (const Case& c : cases) {
    std::string written;
    std::string message;
    ASSERT_TRUE(saveViewImage(image, dir.file(c.chosen), &written, &message)) << message;
    EXPECT_EQ(written, dir.file(c.written));
    const cv::Mat back = cv::imread(written, cv::IMREAD_COLOR);
    ASSERT_EQ(back.size(), image.size()) << c.chosen;
    if (c.lossless) {
      EXPECT_EQ(cv::norm(back, image, cv::NORM_INF), 0.0) << c.chosen;
    }
  }
  // No temporary file is left behind.
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    files += entry.path().filename().string().find(".partial-") == std::string::npos ? 1 : 100;
  }
  EXPECT_EQ(files, 5);
}

TEST(ImageOutput, RefusedSavesSayWhyInGermanAndChangeNothing) {
  TempDir dir;
  std::ofstream(dir.file("alt.png")) << "kept";
  fs::create_directory(dir.path() / "ordner.png");
  struct Case {
    std::string path;
    std::string reason;
  };
  const Case cases[] = {
      {dir.file("fehlt/view.png"), "existiert nicht"},
      {dir.file("view.bmp"), "wird nicht unterstützt"},
      {dir.file("ordner.png"), "ist ein Verzeichnis"},
      {"", "kein Dateiname"},
  };
  for (const Case& c : cases) {
    std::string written = "unchanged";
    std::string message;
    EXPECT_FALSE(saveViewImage(sampleImage(), c.path, &written, &message)) << c.path;
    EXPECT_EQ(message.rfind("Die Ansicht konnte nicht gespeichert werden.\n\n", 0), 0u) << message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << message;
    EXPECT_EQ(written, "unchanged");
  }
  std::string written;
  std::string message;
  EXPECT_FALSE(saveViewImage(cv::Mat(), dir.file("alt.png"), &written, &message));
  EXPECT_NE(message.find("kein Bild"), std::string::npos) << message;
  EXPECT_EQ(readWholeFile(dir.file("alt.png")), "kept");
  EXPECT_FALSE(fs::exists(dir.path() / "view.bmp"));
}

TEST(ImageOutput, EnglishReasonsForTheToolsStayAsTheyWere) {
  TempDir dir;
  std::string reason;
  EXPECT_FALSE(writeImageChecked(cv::Mat(), dir.file("x.png"), &reason));
  EXPECT_EQ(reason, "there is no image to write");
  EXPECT_FALSE(writeImageChecked(sampleImage(), dir.path().string(), &reason));
  EXPECT_EQ(reason, dir.path().string() + " is a directory");
  EXPECT_FALSE(writeImageChecked(sampleImage(), dir.file("missing/x.png"), &reason));
  EXPECT_EQ(reason.rfind("the image encoder failed writing ", 0), 0u) << reason;
  EXPECT_TRUE(writeImageChecked(sampleImage(), dir.file("x.png"), &reason));
}
