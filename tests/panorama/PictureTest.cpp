#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "camera/CamData.h"
#include "panorama/Picture.h"
#include "support/TempDir.h"

namespace {

constexpr double kBase = Picture::kPhotoPitch;

// A smooth colour gradient, so that JPEG keeps it close to the original.
void writePhoto(const std::string& path, int width, int height) {
  cv::Mat pixels(height, width, CV_8UC3);
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) {
      pixels.at<cv::Vec3b>(row, column) =
          cv::Vec3b(static_cast<uchar>(255 * column / width), static_cast<uchar>(255 * row / height), 128);
    }
  }
  ASSERT_TRUE(cv::imwrite(path, pixels));
}

// A photograph as the panorama reader makes it: described size, photograph
// pitch, preview from the file.
std::unique_ptr<Picture> openedPhoto(const std::string& path, int width, int height) {
  auto picture =
      std::make_unique<Picture>(0, width, height, 18.0, 23.6, 15.8, 1.5707963267948966, 0.0, 0.0f, 0.0);
  picture->setPitch(kBase);
  EXPECT_TRUE(picture->setFile(path));
  return picture;
}

}  // namespace

struct PreviewCase {
  int width;
  int height;
  double previewScale;
  int previewWidth;
  int previewHeight;
};

class PicturePreview : public ::testing::TestWithParam<PreviewCase> {};

TEST_P(PicturePreview, FileGivesPreviewOfAtMostHundredPixelsAsCurrentImage) {
  const PreviewCase c = GetParam();
  TempDir dir;
  writePhoto(dir.file("0.jpg"), c.width, c.height);
  auto photo = openedPhoto(dir.file("0.jpg"), c.width, c.height);

  EXPECT_DOUBLE_EQ(photo->previewScale, c.previewScale);
  EXPECT_EQ(photo->preview.cols, c.previewWidth);
  EXPECT_EQ(photo->preview.rows, c.previewHeight);
  EXPECT_EQ(photo->previewWidth, c.previewWidth);
  EXPECT_EQ(photo->previewHeight, c.previewHeight);
  EXPECT_TRUE(photo->previewIsCurrent());
  EXPECT_EQ(photo->image.data, photo->preview.data);
  EXPECT_EQ(photo->width, c.previewWidth);
  EXPECT_EQ(photo->height, c.previewHeight);
  EXPECT_EQ(photo->fullWidth, c.width);
  EXPECT_EQ(photo->fullHeight, c.height);
  EXPECT_DOUBLE_EQ(photo->scaleX, c.previewScale);
  EXPECT_DOUBLE_EQ(photo->scaleY, c.previewScale);
  EXPECT_DOUBLE_EQ(photo->requestedScale, c.previewScale);
  EXPECT_DOUBLE_EQ(photo->pixelPitch, photo->previewPitch);
  EXPECT_TRUE(photo->scaled);
  EXPECT_TRUE(photo->keepCurrent);
  EXPECT_EQ(photo->useCount, 0);
  EXPECT_EQ(photo->fileReads, 1);
  EXPECT_DOUBLE_EQ(photo->basePitch, kBase);
  EXPECT_EQ(photo->fileName, dir.file("0.jpg"));
}

// 3000 x 2000: the target is 100 x 67, the height ratio 0.0335 is nearer 1 and
// wins, so the preview is 101 x 67 while previewScale stays 1/30.
INSTANTIATE_TEST_SUITE_P(Sizes, PicturePreview,
                         ::testing::Values(PreviewCase{4000, 3000, 0.025, 100, 75},
                                           PreviewCase{3000, 2000, 1.0 / 30.0, 101, 67},
                                           PreviewCase{1000, 1000, 0.1, 100, 100}));

TEST(Picture, PreviewPitchFollowsTheExactPreviewSize) {
  TempDir dir;
  writePhoto(dir.file("0.jpg"), 4000, 3000);
  auto photo = openedPhoto(dir.file("0.jpg"), 4000, 3000);
  EXPECT_DOUBLE_EQ(photo->pixelPitch, 40 * kBase);
}

TEST(Picture, LoaderScalingReadsTheFileOnceThenDownscalesInMemory) {
  TempDir dir;
  writePhoto(dir.file("0.jpg"), 4000, 3000);
  auto photo = openedPhoto(dir.file("0.jpg"), 4000, 3000);
  const cv::Vec3b previewCentre = photo->preview.at<cv::Vec3b>(37, 50);

  photo->keepCurrent = false;
  cv::Mat held = photo->acquireImage();
  EXPECT_EQ(held.cols, 4000);
  EXPECT_TRUE(photo->requestScale(1000, 750, &held));
  EXPECT_EQ(photo->fileReads, 2);
  EXPECT_EQ(held.data, photo->image.data);
  EXPECT_EQ(held.cols, 1000);
  EXPECT_EQ(held.rows, 750);
  EXPECT_EQ(photo->width, 1000);
  EXPECT_EQ(photo->height, 750);
  EXPECT_DOUBLE_EQ(photo->scaleX, 0.25);
  EXPECT_DOUBLE_EQ(photo->scaleY, 0.25);
  EXPECT_DOUBLE_EQ(photo->pixelPitch, 4 * kBase);
  EXPECT_TRUE(photo->scaled);
  EXPECT_FALSE(photo->rescalePending);

  photo->keepCurrent = false;
  EXPECT_TRUE(photo->requestScale(500, 375, &held));
  EXPECT_EQ(photo->fileReads, 2) << "the smaller scale must come from the image in memory";
  EXPECT_EQ(held.cols, 500);
  EXPECT_EQ(held.rows, 375);
  EXPECT_DOUBLE_EQ(photo->pixelPitch, 8 * kBase);
  const cv::Vec3b centre = held.at<cv::Vec3b>(187, 250);
  for (int channel = 0; channel < 3; ++channel) {
    EXPECT_NEAR(centre[channel], previewCentre[channel], 6);
  }

  photo->releaseImage();
  EXPECT_TRUE(photo->previewIsCurrent());
  EXPECT_EQ(photo->width, 100);
  EXPECT_EQ(photo->height, 75);
  EXPECT_DOUBLE_EQ(photo->pixelPitch, 40 * kBase);
  EXPECT_TRUE(photo->keepCurrent);
}

TEST(Picture, TooSmallImageFallsBackToPreviewUntilTheNextForcedRequest) {
  TempDir dir;
  writePhoto(dir.file("0.jpg"), 4000, 3000);
  auto photo = openedPhoto(dir.file("0.jpg"), 4000, 3000);
  photo->keepCurrent = false;
  cv::Mat held = photo->acquireImage();
  ASSERT_TRUE(photo->requestScale(500, 375, &held));

  photo->keepCurrent = false;
  EXPECT_TRUE(photo->requestScale(2000, 1500, &held));
  EXPECT_TRUE(photo->previewIsCurrent());
  EXPECT_EQ(held.data, photo->preview.data);
  EXPECT_TRUE(photo->keepCurrent);
  EXPECT_EQ(photo->useCount, 1);
  EXPECT_EQ(photo->fileReads, 2);

  photo->keepCurrent = false;
  EXPECT_TRUE(photo->requestScale(2000, 1500, &held));
  EXPECT_EQ(photo->fileReads, 3);
  EXPECT_EQ(held.cols, 2000);
  EXPECT_EQ(held.rows, 1500);
  EXPECT_DOUBLE_EQ(photo->pixelPitch, 2 * kBase);

  photo->requestedScale = 1.0;
  photo->applyRequestedScale();
  EXPECT_EQ(photo->image.cols, 4000);
  EXPECT_FALSE(photo->scaled);
  EXPECT_DOUBLE_EQ(photo->scaleX, 1.0);
  EXPECT_DOUBLE_EQ(photo->pixelPitch, kBase);
  photo->releaseImage();
  EXPECT_TRUE(photo->previewIsCurrent());
}

TEST(Picture, RequestWithKeepCurrentOnlyRecordsTheScale) {
  TempDir dir;
  writePhoto(dir.file("0.jpg"), 400, 300);
  auto photo = openedPhoto(dir.file("0.jpg"), 400, 300);
  cv::Mat held = photo->acquireImage();
  EXPECT_EQ(held.data, photo->preview.data) << "keepCurrent must not load the file";
  EXPECT_FALSE(photo->requestScale(200, 150, &held));
  EXPECT_DOUBLE_EQ(photo->requestedScale, 0.5);
  EXPECT_TRUE(photo->rescalePending);
  EXPECT_TRUE(photo->previewIsCurrent());
  EXPECT_EQ(photo->fileReads, 1);

  // The pending scale is applied by the next acquisition that loads.
  photo->releaseImage();
  photo->requestedScale = 0.5;
  photo->rescalePending = true;
  photo->keepCurrent = false;
  held = photo->acquireImage();
  EXPECT_EQ(held.cols, 200);
  EXPECT_EQ(held.rows, 150);
  EXPECT_FALSE(photo->rescalePending);
  photo->releaseImage();
}

TEST(Picture, RequestIsRefusedForAnotherHolderOrALockedPicture) {
  TempDir dir;
  writePhoto(dir.file("0.jpg"), 400, 300);
  auto photo = openedPhoto(dir.file("0.jpg"), 400, 300);
  photo->keepCurrent = false;
  cv::Mat first = photo->acquireImage();
  cv::Mat second = photo->acquireImage();
  EXPECT_FALSE(photo->requestScale(200, 150, &first));
  photo->releaseImage();
  int token = 0;
  ASSERT_TRUE(photo->tryLock(&token));
  EXPECT_FALSE(photo->requestScale(200, 150, &first));
  EXPECT_EQ(photo->image.cols, 400);
  photo->unlock(&token);
  EXPECT_TRUE(photo->requestScale(200, 150, &first));
  EXPECT_EQ(first.cols, 200);
  photo->releaseImage();
}

struct ScaleChoice {
  int targetWidth;
  int targetHeight;
  double scale;
};

TEST(Picture, RequestedScaleIsTheRatioNearerOneClampedToOne) {
  // sy wins ties; scales above 1 are clamped.
  const ScaleChoice cases[] = {{2000, 2400, 0.8}, {2000, 4500, 1.0}, {1000, 750, 0.25},
                               {8000, 6000, 1.0}, {3000, 300, 0.75}};
  for (const ScaleChoice& c : cases) {
    Picture photo(0, 4000, 3000, 18.0, 23.6, 15.8, 1.5, 0.0, 0.0f, 0.0);
    photo.setPitch(kBase);
    EXPECT_FALSE(photo.requestScale(c.targetWidth, c.targetHeight, nullptr));
    EXPECT_DOUBLE_EQ(photo.requestedScale, c.scale) << c.targetWidth << " x " << c.targetHeight;
    EXPECT_TRUE(photo.rescalePending);
  }
}

TEST(Picture, UnreadableOrMismatchedFileGivesNoPreview) {
  TempDir dir;
  writePhoto(dir.file("small.jpg"), 40, 30);
  {
    std::FILE* garbage = std::fopen(dir.file("garbage.jpg").c_str(), "w");
    std::fputs("not an image", garbage);
    std::fclose(garbage);
  }
  for (const char* name : {"missing.jpg", "garbage.jpg", "small.jpg"}) {
    Picture photo(0, 400, 300, 18.0, 23.6, 15.8, 1.5, 0.0, 0.0f, 0.0);
    photo.setPitch(kBase);
    EXPECT_FALSE(photo.setFile(dir.file(name))) << name;
    EXPECT_TRUE(photo.preview.empty());
    EXPECT_TRUE(photo.image.empty());
    EXPECT_EQ(photo.useCount, 0);
  }
}

TEST(Picture, VanishedFileKeepsThePreviewCurrent) {
  TempDir dir;
  writePhoto(dir.file("0.jpg"), 400, 300);
  auto photo = openedPhoto(dir.file("0.jpg"), 400, 300);
  std::filesystem::remove(dir.file("0.jpg"));
  photo->keepCurrent = false;
  cv::Mat held = photo->acquireImage();
  EXPECT_EQ(held.data, photo->preview.data);
  EXPECT_EQ(photo->width, 100);
  EXPECT_EQ(photo->height, 75);
  EXPECT_DOUBLE_EQ(photo->pixelPitch, photo->previewPitch);
  photo->releaseImage();
  EXPECT_TRUE(photo->previewIsCurrent());
}

TEST(Picture, ViewPictureForCameraIsBlankAtTheCanvasSize) {
  CamData camera;
  camera.width = 640;
  camera.height = 480;
  camera.updateSensorWidth();
  auto view = Picture::forCamera(camera);
  EXPECT_EQ(view->id, -1);
  EXPECT_DOUBLE_EQ(view->basePitch, 32.0 / 640.0);
  EXPECT_DOUBLE_EQ(view->pixelPitch, 32.0 / 640.0);
  EXPECT_DOUBLE_EQ(view->extra1, -1.0);
  EXPECT_EQ(view->fileName, "ID: -1");

  cv::Mat image = view->acquireImage();
  ASSERT_EQ(image.cols, 640);
  ASSERT_EQ(image.rows, 480);
  EXPECT_EQ(image.type(), CV_8UC3);
  EXPECT_EQ(cv::countNonZero(image.reshape(1)), 0);
  // Dropping the image keeps the described size (a view has no preview).
  view->releaseImage();
  EXPECT_EQ(view->width, 640);
  EXPECT_EQ(view->height, 480);
  view->keepCurrent = false;
  EXPECT_EQ(view->acquireImage().size(), cv::Size(640, 480));
  EXPECT_EQ(view->fileReads, 0);
  EXPECT_EQ(view->lengthToPixels(50.0), 1000);
}

TEST(Picture, LengthToPixelsRoundsHalfUp) {
  Picture photo(0, 400, 300, 18.0, 23.6, 15.8, 1.5, 0.0, 0.0f, 0.0);
  photo.setPitch(0.5);
  EXPECT_DOUBLE_EQ(photo.pixelPitch, 0.5);
  EXPECT_EQ(photo.lengthToPixels(1.25), 3);   // 2.5 pitches
  EXPECT_EQ(photo.lengthToPixels(1.24), 2);
  EXPECT_EQ(photo.lengthToPixels(0.0), 0);
  EXPECT_EQ(photo.lengthToPixels(-1.25), -2);  // -2.5 rounds up as well
}

TEST(Picture, TryLockAdmitsExactlyOneOwner) {
  Picture photo(0, 40, 30, 18.0, 23.6, 15.8, 1.5, 0.0, 0.0f, 0.0);
  int a = 0;
  int b = 0;
  EXPECT_TRUE(photo.tryLock(&a));
  EXPECT_FALSE(photo.tryLock(&b));
  EXPECT_FALSE(photo.unlock(&b));
  EXPECT_TRUE(photo.inUse);
  EXPECT_TRUE(photo.unlock(&a));
  EXPECT_FALSE(photo.inUse);
  EXPECT_EQ(photo.inUseBy.load(), nullptr);

  std::atomic<int> winners{0};
  std::vector<std::thread> threads;
  std::vector<int> tokens(8);
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&, i] {
      if (photo.tryLock(&tokens[i])) ++winners;
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(winners, 1);
}

TEST(Picture, CopyWithoutImagesKeepsDescriptionAndOverlaps) {
  TempDir dir;
  writePhoto(dir.file("0.jpg"), 400, 300);
  auto photo = openedPhoto(dir.file("0.jpg"), 400, 300);
  Picture partner(1, 400, 300, 18.0, 23.6, 15.8, 1.5, 0.3, 0.0f, 0.0);
  photo->overlaps.push_back({{1, 2, 3, 4}, {5, 6, 7, 8}, 2, &partner, {}, {}, -1});
  int token = 0;
  photo->tryLock(&token);

  auto copy = photo->copyWithoutImages();
  EXPECT_EQ(copy->id, -2);
  EXPECT_EQ(copy->fileName, photo->fileName);
  EXPECT_EQ(copy->width, 100);
  EXPECT_EQ(copy->fullWidth, 400);
  EXPECT_DOUBLE_EQ(copy->pixelPitch, photo->pixelPitch);
  EXPECT_DOUBLE_EQ(copy->basePitch, kBase);
  EXPECT_DOUBLE_EQ(copy->scaleX, 0.25);
  EXPECT_TRUE(copy->image.empty());
  EXPECT_TRUE(copy->preview.empty());
  EXPECT_FALSE(copy->inUse);
  EXPECT_FALSE(copy->keepCurrent);
  ASSERT_EQ(copy->overlaps.size(), 1u);
  EXPECT_TRUE(copy->hasPartner(&partner));
  EXPECT_FALSE(copy->hasPartner(photo.get()));
  photo->overlaps[0].ownPoints[0] = 99;
  EXPECT_EQ(copy->overlaps[0].ownPoints[0], 1) << "the copy owns its own point arrays";
}

TEST(Picture, ConcurrentHoldersLeaveThePreviewCurrent) {
  TempDir dir;
  writePhoto(dir.file("0.jpg"), 400, 300);
  auto photo = openedPhoto(dir.file("0.jpg"), 400, 300);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20; ++i) {
        photo->keepCurrent = false;
        cv::Mat held = photo->acquireImage();
        if (held.empty()) ADD_FAILURE() << "no image";
        photo->requestScale(200, 150, &held);
        int width = 0, height = 0;
        double pitch = 0.0;
        photo->currentSize(&width, &height, &pitch);
        if (width != 100 && width != 200 && width != 400) ADD_FAILURE() << "width " << width;
        photo->releaseImage();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(photo->useCount, 0);
  EXPECT_TRUE(photo->previewIsCurrent());
  EXPECT_EQ(photo->width, 100);
  EXPECT_DOUBLE_EQ(photo->pixelPitch, photo->previewPitch);
}

TEST(Picture, PendingScaleThatKeepsTheFullSizeLeavesFullSizeFields) {
  TempDir dir;
  writePhoto(dir.file("0.jpg"), 400, 300);
  auto photo = openedPhoto(dir.file("0.jpg"), 400, 300);
  photo->requestedScale = 0.9999;  // rounds to 400 x 300
  photo->rescalePending = true;
  photo->keepCurrent = false;
  cv::Mat held = photo->acquireImage();
  ASSERT_EQ(held.cols, 400);
  EXPECT_EQ(photo->width, 400);
  EXPECT_EQ(photo->height, 300);
  EXPECT_DOUBLE_EQ(photo->pixelPitch, kBase);
  EXPECT_FALSE(photo->scaled);
  EXPECT_FALSE(photo->rescalePending);
  photo->releaseImage();
}
