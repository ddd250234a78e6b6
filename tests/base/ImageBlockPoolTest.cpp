#include "base/ImageBlockPool.h"

#include <cstdint>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

namespace {

constexpr std::size_t kMB = std::size_t{1} << 20;

cv::Mat imageFrom(const ImageBlockPool& pool, int rows, int cols, int type = CV_8UC3) {
  cv::Mat image;
  image.allocator = const_cast<ImageBlockPool*>(&pool);
  image.create(rows, cols, type);
  return image;
}

}  // namespace

// Large images come from the pool, on huge-page boundaries, with the steps
// OpenCV's own allocator gives; small ones and images over foreign memory do
// not; every image keeps its own pixels.
TEST(ImageBlockPool, LargeImagesComeFromItsBlocksAndHoldTheirPixels) {
  ImageBlockPool pool(64 * kMB);
  cv::Mat large = imageFrom(pool, 1000, 1000);  // 3 MB
  ASSERT_FALSE(large.empty());
  EXPECT_EQ(large.u->currAllocator, &pool);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(large.data) % (2 * kMB), 0u);
  EXPECT_EQ(large.step[0], 3000u);
  EXPECT_TRUE(large.isContinuous());
  cv::Mat other = imageFrom(pool, 1000, 1000);
  large.setTo(cv::Scalar(1, 2, 3));
  other.setTo(cv::Scalar(9, 8, 7));
  EXPECT_EQ(large.at<cv::Vec3b>(999, 999), cv::Vec3b(1, 2, 3));
  EXPECT_EQ(other.at<cv::Vec3b>(0, 0), cv::Vec3b(9, 8, 7));

  cv::Mat small = imageFrom(pool, 100, 100);
  EXPECT_NE(small.u->currAllocator, &pool);
  std::vector<std::uint8_t> own(3 * kMB);
  cv::Mat foreign(1000, 1000, CV_8UC3, own.data());
  cv::Mat copy;
  copy.allocator = &pool;
  foreign.copyTo(copy);
  EXPECT_EQ(copy.u->currAllocator, &pool);
  EXPECT_NE(copy.data, own.data());

  // Three dimensions, another element size.
  const int sizes[3] = {4, 512, 512};
  cv::Mat volume;
  volume.allocator = &pool;
  volume.create(3, sizes, CV_32FC1);
  EXPECT_EQ(volume.u->currAllocator, &pool);
  EXPECT_EQ(volume.step[0], 512u * 512 * 4);
  EXPECT_EQ(volume.step[1], 512u * 4);
}

// A freed block serves the next image of its size (no new mapping), one of
// up to half its size too, but not a larger one or a much smaller one; the
// kept blocks never exceed the bound, the oldest going first.
TEST(ImageBlockPool, FreedBlocksAreReusedWithinTheBound) {
  ImageBlockPool pool(10 * kMB);
  cv::Mat first = imageFrom(pool, 1000, 1000);  // 3 MB: a 4 MB block
  const uchar* block = first.data;
  first.release();
  EXPECT_EQ(pool.keptBytes(), 4 * kMB);
  cv::Mat again = imageFrom(pool, 800, 1000);  // 2.4 MB: the same block
  EXPECT_EQ(again.data, block);
  EXPECT_EQ(pool.keptBytes(), 0u);
  again.release();
  cv::Mat larger = imageFrom(pool, 2000, 1000);  // 6 MB: a new block
  EXPECT_NE(larger.data, block);
  EXPECT_EQ(pool.keptBytes(), 4 * kMB);

  larger.release();  // 4 + 6 MB kept: at the bound
  EXPECT_EQ(pool.keptBytes(), 10 * kMB);
  cv::Mat filler = imageFrom(pool, 3000, 1000);  // 9 MB: neither fits
  filler.release();  // 4 + 6 + 10 MB: the two oldest are given back
  EXPECT_EQ(pool.keptBytes(), 10 * kMB);
  cv::Mat tiny = imageFrom(pool, 1, 3 * static_cast<int>(kMB) / 4, CV_8UC4);  // 3 MB
  EXPECT_EQ(pool.keptBytes(), 10 * kMB) << "a 10 MB block is more than twice 4 MB";
}

// Threads allocating and freeing at once each get memory of their own.
TEST(ImageBlockPool, ThreadsShareThePool) {
  ImageBlockPool pool(16 * kMB);
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&pool, &wrong, t] {
      for (int round = 0; round < 20; ++round) {
        cv::Mat image = imageFrom(pool, 700 + 100 * (round % 3), 1000);
        image.setTo(cv::Scalar::all(t * 20 + round));
        if (cv::countNonZero(image.reshape(1) != t * 20 + round) != 0) {
          ++wrong[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
  EXPECT_LE(pool.keptBytes(), 16 * kMB);
}
