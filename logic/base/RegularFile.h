#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Bounded reading of files that a user names: only regular files are read
// (symbolic links are followed), so that a FIFO, a device or a directory
// given in place of a photograph or project neither blocks the program nor
// streams endlessly.
class RegularFile {
 public:
  enum class Status { kOpen, kMissing, kNotRegular, kUnreadable };

  RegularFile() = default;
  ~RegularFile();
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;

  // Opens `path` for reading without blocking (a FIFO is refused, not waited
  // on). kMissing: no such file, a dangling link, a link loop, a name too
  // long; kNotRegular: it exists but is no regular file; kUnreadable: other
  // failures (permissions). Any file open before is closed first.
  Status open(const std::string& path);
  bool isOpen() const { return fd_ >= 0; }
  // Size in bytes when opened.
  std::uint64_t size() const { return size_; }
  // Reads up to `count` bytes at the current position into `buffer`;
  // returns how many were read (0 at the end or on a read error).
  std::size_t read(void* buffer, std::size_t count);
  // Moves the position `count` bytes forward; false when that passes the end.
  bool skip(std::uint64_t count);

 private:
  void close();

  int fd_ = -1;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;
};

// Whether `path` names a regular file (links followed) that can be opened.
bool isReadableRegularFile(const std::string& path);

// Results of readRegularFile.
enum class FileRead { kRead, kMissing, kNotRegular, kUnreadable, kTooLarge };
// Reads the whole regular file at `path` into *content if it holds at most
// `maxBytes` bytes; *content is unchanged on any other result.
FileRead readRegularFile(const std::string& path, std::size_t maxBytes, std::string* content);
