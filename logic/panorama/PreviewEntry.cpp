#include "panorama/PreviewEntry.h"

#include <cstring>

namespace {

constexpr unsigned char kMagic[8] = {'P', 'V', 'P', 'R', 'E', 'V', 'W', '\n'};

constexpr std::uint64_t kPrime1 = 11400714785074694791ULL;
constexpr std::uint64_t kPrime2 = 14029467366897019727ULL;
constexpr std::uint64_t kPrime3 = 1609587929392839161ULL;
constexpr std::uint64_t kPrime4 = 9650029242287828579ULL;
constexpr std::uint64_t kPrime5 = 2870177450012600261ULL;

std::uint64_t rotateLeft(std::uint64_t value, int bits) { return (value << bits) | (value >> (64 - bits)); }

std::uint64_t read64(const unsigned char* p) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

std::uint32_t read32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void put64(unsigned char* p, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

void put32(unsigned char* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint64_t lane(std::uint64_t accumulator, std::uint64_t input) {
  accumulator += input * kPrime2;
  return rotateLeft(accumulator, 31) * kPrime1;
}

std::uint64_t mergeLane(std::uint64_t hash, std::uint64_t accumulator) {
  hash ^= lane(0, accumulator);
  return hash * kPrime1 + kPrime4;
}

void fnvBytes(std::uint64_t* hash, const void* data, std::size_t length) {
  const auto* p = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < length; ++i) {
    *hash ^= p[i];
    *hash *= 1099511628211ULL;
  }
}

void fnvNumber(std::uint64_t* hash, std::uint64_t value) {
  unsigned char bytes[8];
  put64(bytes, value);
  fnvBytes(hash, bytes, 8);
}

}  // namespace

std::uint64_t previewKeyHash(const PreviewKey& key) {
  std::uint64_t hash = 14695981039346656037ULL;
  fnvBytes(&hash, key.path.data(), key.path.size());
  fnvBytes(&hash, "", 1);
  fnvNumber(&hash, key.fileSize);
  fnvNumber(&hash, static_cast<std::uint64_t>(key.mtimeNs));
  fnvBytes(&hash, key.rule.data(), key.rule.size());
  return hash;
}

std::uint64_t checksum64(const void* data, std::size_t length, std::uint64_t seed) {
  const auto* p = static_cast<const unsigned char*>(data);
  const unsigned char* const end = p + length;
  std::uint64_t hash;
  if (length >= 32) {
    std::uint64_t v1 = seed + kPrime1 + kPrime2;
    std::uint64_t v2 = seed + kPrime2;
    std::uint64_t v3 = seed;
    std::uint64_t v4 = seed - kPrime1;
    const unsigned char* const lastStripe = end - 32;
    do {
      v1 = lane(v1, read64(p));
      v2 = lane(v2, read64(p + 8));
      v3 = lane(v3, read64(p + 16));
      v4 = lane(v4, read64(p + 24));
      p += 32;
    } while (p <= lastStripe);
    hash = rotateLeft(v1, 1) + rotateLeft(v2, 7) + rotateLeft(v3, 12) + rotateLeft(v4, 18);
    hash = mergeLane(hash, v1);
    hash = mergeLane(hash, v2);
    hash = mergeLane(hash, v3);
    hash = mergeLane(hash, v4);
  } else {
    hash = seed + kPrime5;
  }
  hash += length;
  for (; end - p >= 8; p += 8) {
    hash ^= lane(0, read64(p));
    hash = rotateLeft(hash, 27) * kPrime1 + kPrime4;
  }
  if (end - p >= 4) {
    hash ^= static_cast<std::uint64_t>(read32(p)) * kPrime1;
    hash = rotateLeft(hash, 23) * kPrime2 + kPrime3;
    p += 4;
  }
  for (; p < end; ++p) {
    hash ^= *p * kPrime5;
    hash = rotateLeft(hash, 11) * kPrime1;
  }
  hash ^= hash >> 33;
  hash *= kPrime2;
  hash ^= hash >> 29;
  hash *= kPrime3;
  hash ^= hash >> 32;
  return hash;
}

bool encodePreviewEntry(const PreviewKey& key, const cv::Mat& preview, std::vector<unsigned char>* bytes) {
  if (preview.empty() || preview.dims != 2 || preview.depth() != CV_8U ||
      (preview.channels() != 1 && preview.channels() != 3) || preview.rows > kPreviewMaxSide ||
      preview.cols > kPreviewMaxSide || key.path.size() > kPreviewMaxText || key.rule.size() > kPreviewMaxText) {
    return false;
  }
  const std::size_t rowBytes = static_cast<std::size_t>(preview.cols) * preview.channels();
  const std::size_t payload = rowBytes * preview.rows;
  if (payload > kPreviewMaxPayload) {
    return false;
  }
  std::vector<unsigned char> out(kPreviewEntryFixedBytes + key.path.size() + key.rule.size() + payload);
  unsigned char* p = out.data();
  std::memcpy(p, kMagic, 8);
  put32(p + 8, kPreviewEntryVersion);
  put32(p + 12, static_cast<std::uint32_t>(key.path.size()));
  put32(p + 16, static_cast<std::uint32_t>(key.rule.size()));
  put32(p + 20, static_cast<std::uint32_t>(preview.rows));
  put32(p + 24, static_cast<std::uint32_t>(preview.cols));
  put32(p + 28, static_cast<std::uint32_t>(preview.channels()));
  put64(p + 32, key.fileSize);
  put64(p + 40, static_cast<std::uint64_t>(key.mtimeNs));
  put64(p + 48, payload);
  p += 56;
  if (!key.path.empty()) std::memcpy(p, key.path.data(), key.path.size());
  p += key.path.size();
  if (!key.rule.empty()) std::memcpy(p, key.rule.data(), key.rule.size());
  p += key.rule.size();
  for (int row = 0; row < preview.rows; ++row) {
    std::memcpy(p, preview.ptr(row), rowBytes);
    p += rowBytes;
  }
  put64(p, checksum64(out.data(), out.size() - 8));
  *bytes = std::move(out);
  return true;
}

bool decodePreviewEntry(const unsigned char* bytes, std::size_t length, const PreviewKey& key,
                        cv::Size expected, cv::Mat* preview) {
  if (bytes == nullptr || length < kPreviewEntryFixedBytes || std::memcmp(bytes, kMagic, 8) != 0 ||
      read32(bytes + 8) != kPreviewEntryVersion) {
    return false;
  }
  const std::uint32_t pathLength = read32(bytes + 12);
  const std::uint32_t ruleLength = read32(bytes + 16);
  const std::uint32_t rows = read32(bytes + 20);
  const std::uint32_t cols = read32(bytes + 24);
  const std::uint32_t channels = read32(bytes + 28);
  const std::uint64_t payload = read64(bytes + 48);
  // Every size is checked against its limit before any arithmetic, so that
  // nothing below can overflow.
  if (pathLength != key.path.size() || ruleLength != key.rule.size() || rows < 1 || cols < 1 ||
      rows > static_cast<std::uint32_t>(kPreviewMaxSide) || cols > static_cast<std::uint32_t>(kPreviewMaxSide) ||
      (channels != 1 && channels != 3) || payload != std::uint64_t{rows} * cols * channels ||
      payload > kPreviewMaxPayload || length != kPreviewEntryFixedBytes + pathLength + ruleLength + payload) {
    return false;
  }
  if (read64(bytes + 32) != key.fileSize || static_cast<std::int64_t>(read64(bytes + 40)) != key.mtimeNs ||
      std::memcmp(bytes + 56, key.path.data(), pathLength) != 0 ||
      std::memcmp(bytes + 56 + pathLength, key.rule.data(), ruleLength) != 0) {
    return false;
  }
  if (!expected.empty() && (expected.width != static_cast<int>(cols) || expected.height != static_cast<int>(rows))) {
    return false;
  }
  if (read64(bytes + length - 8) != checksum64(bytes, length - 8)) {
    return false;
  }
  cv::Mat image(static_cast<int>(rows), static_cast<int>(cols), CV_8UC(static_cast<int>(channels)));
  std::memcpy(image.data, bytes + 56 + pathLength + ruleLength, payload);
  *preview = image;
  return true;
}
