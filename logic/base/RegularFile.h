#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A read-only descriptor on a regular file, closed when the object goes.
//
// Only regular files are opened (symbolic links are followed first): a named
// pipe, a device, a socket or a directory is refused without being opened
// for reading, so that a path to a pipe with no writer or to an endless
// device never blocks or reads forever. The type is checked twice: by path
// before opening, for a clear reason, and on the opened descriptor (opened
// non-blocking), so that a path swapped between the two checks is refused
// too.
// What stands in the way of reading a file.
enum class FileProblem {
  kNone,
  kMissing,       // no such file, a dangling link, a link loop, a name too long, no name
  kNotRegular,    // a directory, pipe, device or socket
  kNoPermission,  // not readable for this user
  kUnreadable,    // any other failure to open or read
  kTooLarge,      // more bytes than the reader accepts
};

class RegularFile {
 public:
  RegularFile() = default;
  ~RegularFile();
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;

  // Opens `path` (kNone); on failure stays closed, says what is in the way
  // and puts a short English reason in *reason, if given ("no such file", "a
  // named pipe, not a regular file", "permission denied", ...). Closes a file
  // held before.
  FileProblem open(const std::string& path, std::string* reason = nullptr);
  bool isOpen() const { return fd_ >= 0; }
  // The size in bytes found when the file was opened.
  std::uint64_t size() const { return size_; }
  // The read position in bytes from the start (0 when closed).
  std::uint64_t position() const;

  // Reads up to `length` bytes at the current position into `buffer`
  // (retrying interrupted reads). Returns the count read, 0 at the end of the
  // file, -1 on a read error (then *reason, if given, says why).
  long read(void* buffer, std::size_t length, std::string* reason = nullptr);
  // Moves the read position back to the start of the file. False on a seek
  // error.
  bool rewind();
  // Moves the read position `count` bytes forward; moving past the end is
  // allowed (the next read returns 0). False on a seek error.
  bool skip(std::uint64_t count);
  // Reads from the current position to the end of the file into *bytes
  // (replacing its content). False on a read error.
  bool readRest(std::string* bytes, std::string* reason);

  void close();

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

// Whether `path` is a regular file (links followed) this process can open
// for reading; opens and closes it without blocking.
FileProblem probeRegularFile(const std::string& path);
bool isReadableRegularFile(const std::string& path);
// Reads the whole regular file at `path` into *content if it holds at most
// `maxBytes` bytes; *content is unchanged on any other result.
FileProblem readRegularFile(const std::string& path, std::size_t maxBytes, std::string* content);
// One German sentence for the user that names the file and the problem, e.g.
// "„a.xml“ ist keine gewöhnliche Datei (Verzeichnis, Pipe oder Gerät)."
std::string describeFileProblem(FileProblem problem, const std::string& path);
