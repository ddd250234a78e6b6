#pragma once

#include <cstddef>
#include <mutex>
#include <vector>

#include <opencv2/core.hpp>

// Memory for large images (decoded photographs, their scaled copies, views):
// each block is mapped on its own in 2 MB steps and asks the kernel for huge
// pages, so that a 6-megapixel decode costs a few dozen page faults instead
// of four thousand; freed blocks are kept (up to keptFreeBytes, the oldest
// given back first) and handed out again for requests of the same size or up
// to half of it. Smaller images and images over memory they do not own go
// to OpenCV's own allocator. The memory holds whatever it held before: like
// any allocation, an image's pixels are undefined until written.
class ImageBlockPool : public cv::MatAllocator {
 public:
  // Blocks of at least this many bytes come from the pool.
  static constexpr std::size_t kMinBlockBytes = std::size_t{2} << 20;

  explicit ImageBlockPool(std::size_t keptFreeBytes);
  ~ImageBlockPool() override;
  ImageBlockPool(const ImageBlockPool&) = delete;
  ImageBlockPool& operator=(const ImageBlockPool&) = delete;

  cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, size_t* step,
                         cv::AccessFlag flags, cv::UMatUsageFlags usageFlags) const override;
  bool allocate(cv::UMatData* data, cv::AccessFlag accessFlags,
                cv::UMatUsageFlags usageFlags) const override;
  void deallocate(cv::UMatData* data) const override;

  // Bytes of freed blocks kept for reuse.
  std::size_t keptBytes() const;

 private:
  struct Block {
    void* memory;
    std::size_t bytes;  // a multiple of 2 MB
  };
  // A block of at least `bytes`, from the kept ones or mapped afresh;
  // nullptr when the system has no memory left.
  void* take(std::size_t bytes) const;
  void giveBack(void* memory, std::size_t bytes) const;

  std::size_t keptFreeBytes_;
  mutable std::mutex mutex_;
  mutable std::vector<Block> free_;  // oldest first
  mutable std::size_t freeBytes_ = 0;
};
