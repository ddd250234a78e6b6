#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "base/RegularFile.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

TEST(RegularFile, OnlyRegularFilesAreRead) {
  TempDir dir;
  std::ofstream(dir.file("text.txt"), std::ios::binary) << "hello";
  fs::create_directory(dir.file("folder"));
  ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
  fs::create_symlink("text.txt", dir.file("link"));
  fs::create_symlink("nowhere", dir.file("dangling"));
  fs::create_symlink("loop2", dir.file("loop1"));
  fs::create_symlink("loop1", dir.file("loop2"));
  fs::create_symlink("pipe", dir.file("pipelink"));

  struct Case {
    std::string name;
    FileRead expected;
  };
  const std::vector<Case> cases = {
      {"text.txt", FileRead::kRead},       {"link", FileRead::kRead},
      {"missing", FileRead::kMissing},     {"dangling", FileRead::kMissing},
      {"loop1", FileRead::kMissing},       {"folder", FileRead::kNotRegular},
      {"pipe", FileRead::kNotRegular},     {"pipelink", FileRead::kNotRegular},
      {"text.txt/x", FileRead::kMissing},  {std::string(5000, 'n'), FileRead::kMissing},
  };
  for (const Case& c : cases) {
    std::string content = "unchanged";
    EXPECT_EQ(readRegularFile(dir.file(c.name), 100, &content), c.expected) << c.name.substr(0, 40);
    EXPECT_EQ(content, c.expected == FileRead::kRead ? "hello" : "unchanged") << c.name.substr(0, 40);
    EXPECT_EQ(isReadableRegularFile(dir.file(c.name)), c.expected == FileRead::kRead);
  }
  // A NUL byte would shorten the name to "text.txt".
  EXPECT_FALSE(isReadableRegularFile(dir.file("text.txt") + std::string("\0x", 2)));
}

TEST(RegularFile, SizeLimitAndSkipping) {
  TempDir dir;
  std::ofstream(dir.file("ten"), std::ios::binary) << "0123456789";
  std::string content;
  EXPECT_EQ(readRegularFile(dir.file("ten"), 9, &content), FileRead::kTooLarge);
  EXPECT_EQ(readRegularFile(dir.file("ten"), 10, &content), FileRead::kRead);
  EXPECT_EQ(content, "0123456789");

  RegularFile file;
  ASSERT_EQ(file.open(dir.file("ten")), RegularFile::Status::kOpen);
  EXPECT_EQ(file.size(), 10u);
  char bytes[4] = {};
  EXPECT_EQ(file.read(bytes, 2), 2u);
  EXPECT_TRUE(file.skip(3));
  EXPECT_EQ(file.read(bytes, 4), 4u);
  EXPECT_EQ(std::string(bytes, 4), "5678");
  EXPECT_FALSE(file.skip(2));  // one byte left
  EXPECT_EQ(file.read(bytes, 4), 1u);
  EXPECT_EQ(bytes[0], '9');
}
