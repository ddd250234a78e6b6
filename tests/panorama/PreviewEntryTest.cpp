#include <gtest/gtest.h>

#include <vector>

#include "panorama/PreviewEntry.h"

TEST(PreviewEntry, ChecksumIsXxh64) {
  // Published XXH64 values (seed 0), and one long input whose value zstd's
  // frame checksum (the low 32 bits of XXH64) confirms.
  EXPECT_EQ(checksum64("", 0), 0xEF46DB3751D8E999ULL);
  EXPECT_EQ(checksum64("a", 1), 0xD24EC4F1A98C6E5BULL);
  EXPECT_EQ(checksum64("abc", 3), 0x44BC2CF5AD770999ULL);
  std::vector<unsigned char> bytes(1013);  // 31 stripes of 32 bytes, then 8 + 8 + 4 + 1
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 3);
  EXPECT_EQ(checksum64(bytes.data(), bytes.size()) & 0xFFFFFFFFu, 0xCCDF9B15u);
}
