#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/RegularFile.h"
#include "support/JpegBytes.h"
#include "support/PipeRescue.h"
#include "support/TempDir.h"

namespace {

// A directory with one of every kind of path a caller may hand over.
class PathKinds {
 public:
  PathKinds() {
    writeBytes(dir.file("photo.jpg"), "0123456789");
    std::filesystem::create_directory(dir.file("folder"));
    EXPECT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    std::filesystem::create_symlink(dir.file("photo.jpg"), dir.file("link-to-photo"));
    std::filesystem::create_symlink(dir.file("pipe"), dir.file("link-to-pipe"));
    std::filesystem::create_symlink(dir.file("gone.jpg"), dir.file("dangling"));
  }
  TempDir dir;
};

struct OpenCase {
  const char* path;  // in the directory, or absolute
  bool opens;
  const char* reason;
};

}  // namespace

TEST(RegularFile, OpensOnlyRegularFilesAndNamesWhatElseThePathIs) {
  PathKinds kinds;
  const OpenCase cases[] = {
      {"photo.jpg", true, ""},
      {"link-to-photo", true, ""},
      {"missing.jpg", false, "no such file"},
      {"dangling", false, "no such file"},
      {"folder", false, "a directory, not a regular file"},
      {"pipe", false, "a named pipe, not a regular file"},
      {"link-to-pipe", false, "a named pipe, not a regular file"},
      {"/dev/null", false, "a character device, not a regular file"},
      {"/dev/zero", false, "a character device, not a regular file"},
      {"", false, "no file name"},
  };
  for (const OpenCase& c : cases) {
    const std::string path = c.path[0] == '/' || c.path[0] == '\0' ? c.path : kinds.dir.file(c.path);
    RegularFile file;
    std::string reason;
    bool opened = false;
    ASSERT_TRUE(endsWithoutBlocking(kinds.dir.file("pipe"), [&] { opened = file.open(path, &reason) == FileProblem::kNone; }))
        << c.path << " blocked";
    EXPECT_EQ(opened, c.opens) << c.path;
    EXPECT_EQ(file.isOpen(), c.opens) << c.path;
    EXPECT_EQ(reason, c.reason) << c.path;
    if (c.opens) {
      EXPECT_EQ(file.size(), 10u);
    }
  }
}

TEST(RegularFile, UnreadableFileIsRefusedAsPermissionDenied) {
  if (::geteuid() == 0) {
    GTEST_SKIP() << "root reads every file";
  }
  TempDir dir;
  writeBytes(dir.file("secret.jpg"), "x");
  ::chmod(dir.file("secret.jpg").c_str(), 0);
  RegularFile file;
  std::string reason;
  EXPECT_EQ(file.open(dir.file("secret.jpg"), &reason), FileProblem::kUnreadable);
  EXPECT_EQ(reason, "permission denied");
}

TEST(RegularFile, WholeFileReadingSortsPathsByKind) {
  TempDir dir;
  writeBytes(dir.file("text.txt"), "hello");
  std::filesystem::create_directory(dir.file("folder"));
  ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
  std::filesystem::create_symlink("text.txt", dir.file("link"));
  std::filesystem::create_symlink("nowhere", dir.file("dangling"));
  std::filesystem::create_symlink("loop2", dir.file("loop1"));
  std::filesystem::create_symlink("loop1", dir.file("loop2"));
  std::filesystem::create_symlink("pipe", dir.file("pipelink"));

  struct Case {
    std::string name;
    FileProblem expected;
  };
  const std::vector<Case> cases = {
      {"text.txt", FileProblem::kNone},       {"link", FileProblem::kNone},
      {"missing", FileProblem::kMissing},     {"dangling", FileProblem::kMissing},
      {"loop1", FileProblem::kMissing},       {"folder", FileProblem::kNotRegular},
      {"pipe", FileProblem::kNotRegular},     {"pipelink", FileProblem::kNotRegular},
      {"text.txt/x", FileProblem::kMissing},  {std::string(5000, 'n'), FileProblem::kMissing},
  };
  for (const Case& c : cases) {
    std::string content = "unchanged";
    EXPECT_EQ(readRegularFile(dir.file(c.name), 100, &content), c.expected) << c.name.substr(0, 40);
    EXPECT_EQ(content, c.expected == FileProblem::kNone ? "hello" : "unchanged") << c.name.substr(0, 40);
    EXPECT_EQ(isReadableRegularFile(dir.file(c.name)), c.expected == FileProblem::kNone);
  }
  // A NUL byte would shorten the name to "text.txt".
  EXPECT_FALSE(isReadableRegularFile(dir.file("text.txt") + std::string("\0x", 2)));
}

TEST(RegularFile, WholeFileReadingStopsAtTheSizeLimit) {
  TempDir dir;
  writeBytes(dir.file("ten"), "0123456789");
  std::string content;
  EXPECT_EQ(readRegularFile(dir.file("ten"), 9, &content), FileProblem::kTooLarge);
  EXPECT_EQ(readRegularFile(dir.file("ten"), 10, &content), FileProblem::kNone);
  EXPECT_EQ(content, "0123456789");
}

TEST(RegularFile, ReadsSkipsAndRewindsWithinTheFile) {
  TempDir dir;
  writeBytes(dir.file("data"), "abcdefghij");
  RegularFile file;
  std::string reason;
  ASSERT_EQ(file.open(dir.file("data"), &reason), FileProblem::kNone);
  char head[3] = {};
  EXPECT_EQ(file.read(head, 3), 3);
  EXPECT_EQ(std::string(head, 3), "abc");
  EXPECT_TRUE(file.skip(4));
  std::string rest;
  EXPECT_TRUE(file.readRest(&rest, &reason));
  EXPECT_EQ(rest, "hij");
  EXPECT_TRUE(file.skip(100)) << "skipping past the end is allowed";
  EXPECT_EQ(file.read(head, 3), 0) << "and the next read finds the end";
  EXPECT_TRUE(file.rewind());
  EXPECT_TRUE(file.readRest(&rest, &reason));
  EXPECT_EQ(rest, "abcdefghij");
  file.close();
  EXPECT_EQ(file.read(head, 3, &reason), -1);
  EXPECT_EQ(reason, "file not open");
}
