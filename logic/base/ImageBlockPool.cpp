#include "base/ImageBlockPool.h"

#include <sys/mman.h>

#include <cstdint>

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

// Most dimensions an image of the pool has (OpenCV allows 32).
constexpr int kMaxDims = 32;

std::size_t roundToHugePages(std::size_t bytes) {
  return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

// `bytes` (a multiple of 2 MB) of fresh memory starting on a 2 MB boundary,
// so that the kernel can back it with huge pages; nullptr on failure.
void* mapAligned(std::size_t bytes) {
  void* raw = mmap(nullptr, bytes + kHugePage, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) {
    return nullptr;
  }
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
  if (aligned > start) {
    munmap(raw, aligned - start);
  }
  const std::size_t tail = start + kHugePage - aligned;
  if (tail > 0) {
    munmap(reinterpret_cast<void*>(aligned + bytes), tail);
  }
  void* block = reinterpret_cast<void*>(aligned);
#if defined(MADV_HUGEPAGE)
  madvise(block, bytes, MADV_HUGEPAGE);  // a hint: without it the pages are small
#endif
  return block;
}

// The bytes an image of `dims` sizes and `type` takes, with its steps
// filled in as OpenCV's own allocator fills them.
std::size_t imageBytes(int dims, const int* sizes, int type, size_t* step) {
  std::size_t total = CV_ELEM_SIZE(type);
  for (int i = dims - 1; i >= 0; --i) {
    if (step != nullptr) {
      step[i] = total;
    }
    total *= static_cast<std::size_t>(sizes[i]);
  }
  return total;
}

}  // namespace

ImageBlockPool::ImageBlockPool(std::size_t keptFreeBytes) : keptFreeBytes_(keptFreeBytes) {}

ImageBlockPool::~ImageBlockPool() {
  for (const Block& block : free_) {
    munmap(block.memory, block.bytes);
  }
}

cv::UMatData* ImageBlockPool::allocate(int dims, const int* sizes, int type, void* data,
                                       size_t* step, cv::AccessFlag flags,
                                       cv::UMatUsageFlags usageFlags) const {
  cv::MatAllocator* standard = cv::Mat::getStdAllocator();
  if (data != nullptr || dims <= 0 || dims > kMaxDims) {
    return standard->allocate(dims, sizes, type, data, step, flags, usageFlags);
  }
  std::size_t given[kMaxDims];
  const std::size_t bytes = imageBytes(dims, sizes, type, given);
  void* memory = bytes >= kMinBlockBytes ? take(bytes) : nullptr;
  if (memory == nullptr) {
    return standard->allocate(dims, sizes, type, data, step, flags, usageFlags);
  }
  if (step != nullptr) {
    for (int i = 0; i < dims; ++i) {
      step[i] = given[i];
    }
  }
  auto* u = new cv::UMatData(this);
  u->data = u->origdata = static_cast<uchar*>(memory);
  u->size = bytes;
  return u;
}

bool ImageBlockPool::allocate(cv::UMatData* data, cv::AccessFlag, cv::UMatUsageFlags) const {
  return data != nullptr;
}

void ImageBlockPool::deallocate(cv::UMatData* data) const {
  if (data == nullptr) {
    return;
  }
  giveBack(data->origdata, data->size);
  delete data;
}

std::size_t ImageBlockPool::keptBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return freeBytes_;
}

void* ImageBlockPool::take(std::size_t bytes) const {
  const std::size_t wanted = roundToHugePages(bytes);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // The smallest kept block that fits and is at most twice the size.
    auto best = free_.end();
    for (auto it = free_.begin(); it != free_.end(); ++it) {
      if (it->bytes >= wanted && it->bytes <= 2 * wanted &&
          (best == free_.end() || it->bytes < best->bytes)) {
        best = it;
      }
    }
    if (best != free_.end()) {
      void* memory = best->memory;
      freeBytes_ -= best->bytes;
      free_.erase(best);
      return memory;
    }
  }
  return mapAligned(wanted);
}

void ImageBlockPool::giveBack(void* memory, std::size_t bytes) const {
  const std::size_t held = roundToHugePages(bytes);
  std::vector<Block> released;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back({memory, held});
    freeBytes_ += held;
    while (freeBytes_ > keptFreeBytes_) {
      released.push_back(free_.front());
      freeBytes_ -= free_.front().bytes;
      free_.erase(free_.begin());
    }
  }
  for (const Block& block : released) {
    munmap(block.memory, block.bytes);
  }
}
