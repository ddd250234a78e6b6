#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include "base/ImageMemory.h"

// Large images are copied in bands of rows on several threads: every row
// arrives whole and in its place, also from and into parts of larger images
// (rows that are not contiguous), and small images are copied as well.
TEST(ImageMemory, CopiesEveryRowOfLargeAndSmallImages) {
  cv::RNG rng(3);
  for (const cv::Size size : {cv::Size(1921, 1081), cv::Size(3840, 2160), cv::Size(7, 3)}) {
    cv::Mat whole(size.height + 2, size.width + 5, CV_8UC3);
    rng.fill(whole, cv::RNG::UNIFORM, 0, 256);
    const cv::Mat source = whole(cv::Rect(3, 1, size.width, size.height));
    cv::Mat targetWhole(size.height + 4, size.width + 1, CV_8UC3, cv::Scalar::all(9));
    cv::Mat target = targetWhole(cv::Rect(1, 2, size.width, size.height));
    copyImagePixels(source, target);
    EXPECT_EQ(cv::norm(source, target, cv::NORM_INF), 0.0) << size;
    // Around the target's part nothing was written.
    EXPECT_EQ(cv::countNonZero(targetWhole.row(0).reshape(1) != 9), 0) << size;
    EXPECT_EQ(cv::countNonZero(targetWhole.row(size.height + 3).reshape(1) != 9), 0) << size;
    EXPECT_EQ(cv::countNonZero(targetWhole.col(0).reshape(1) != 9), 0) << size;

    cv::Mat contiguous(size, CV_8UC3, cv::Scalar::all(1));
    copyImagePixels(source, contiguous);
    EXPECT_EQ(cv::norm(source, contiguous, cv::NORM_INF), 0.0) << size;
  }
}
