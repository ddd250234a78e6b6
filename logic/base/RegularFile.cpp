#include "base/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

namespace {

// What a path names, in words, when it is not a regular file.
const char* kindOf(std::filesystem::file_type type) {
  switch (type) {
    case std::filesystem::file_type::directory: return "a directory";
    case std::filesystem::file_type::fifo: return "a named pipe";
    case std::filesystem::file_type::character: return "a character device";
    case std::filesystem::file_type::block: return "a block device";
    case std::filesystem::file_type::socket: return "a socket";
    default: return "an unknown kind of file";
  }
}

std::filesystem::file_type typeOfMode(mode_t mode) {
  if (S_ISDIR(mode)) return std::filesystem::file_type::directory;
  if (S_ISFIFO(mode)) return std::filesystem::file_type::fifo;
  if (S_ISCHR(mode)) return std::filesystem::file_type::character;
  if (S_ISBLK(mode)) return std::filesystem::file_type::block;
  if (S_ISSOCK(mode)) return std::filesystem::file_type::socket;
  if (S_ISREG(mode)) return std::filesystem::file_type::regular;
  return std::filesystem::file_type::unknown;
}

std::string notRegular(std::filesystem::file_type type) {
  return std::string(kindOf(type)) + ", not a regular file";
}

std::string errnoText(int error) {
  if (error == ENOENT || error == ENOTDIR) return "no such file";
  if (error == EACCES || error == EPERM) return "permission denied";
  if (error == ELOOP) return "too many symbolic links";
  return std::error_code(error, std::generic_category()).message();
}

FileProblem problemOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ELOOP:
    case ENAMETOOLONG:
      return FileProblem::kMissing;
    case EACCES:
    case EPERM:
      return FileProblem::kNoPermission;
    case EISDIR:
    case ENXIO:  // opening a device may fail in ways of its own (a socket)
    case ENODEV:
      return FileProblem::kNotRegular;
    default:
      return FileProblem::kUnreadable;
  }
}

void setReason(std::string* reason, const std::string& text) {
  if (reason != nullptr) *reason = text;
}

}  // namespace

RegularFile::~RegularFile() { close(); }

FileProblem RegularFile::open(const std::string& path, std::string* reason) {
  close();
  // A name with a NUL byte would silently name a shorter path.
  if (path.empty() || path.find('\0') != std::string::npos) {
    setReason(reason, "no file name");
    return FileProblem::kMissing;
  }
  std::error_code failed;
  const std::filesystem::file_status status = std::filesystem::status(path, failed);
  if (status.type() == std::filesystem::file_type::not_found) {
    setReason(reason, "no such file");
    return FileProblem::kMissing;
  }
  if (failed) {
    setReason(reason, errnoText(failed.value()));
    return problemOf(failed.value());
  }
  if (status.type() != std::filesystem::file_type::regular) {
    setReason(reason, notRegular(status.type()));
    return FileProblem::kNotRegular;
  }
  // Non-blocking, so that a path replaced by a pipe since the check above
  // does not block here; the descriptor's own type is checked below.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    const int error = errno;
    setReason(reason, errnoText(error));
    return problemOf(error);
  }
  struct stat opened {};
  if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
    setReason(reason, notRegular(typeOfMode(opened.st_mode)));
    ::close(fd);
    return FileProblem::kNotRegular;
  }
  // Regular files ignore O_NONBLOCK; clear it all the same.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  fd_ = fd;
  size_ = static_cast<std::uint64_t>(opened.st_size);
  return FileProblem::kNone;
}

std::uint64_t RegularFile::position() const {
  if (fd_ < 0) return 0;
  const off_t at = ::lseek(fd_, 0, SEEK_CUR);
  return at > 0 ? static_cast<std::uint64_t>(at) : 0;
}

long RegularFile::read(void* buffer, std::size_t length, std::string* reason) {
  if (fd_ < 0) {
    setReason(reason, "file not open");
    return -1;
  }
  for (;;) {
    const ssize_t count = ::read(fd_, buffer, length);
    if (count >= 0) return static_cast<long>(count);
    if (errno != EINTR) {
      setReason(reason, "read error: " + errnoText(errno));
      return -1;
    }
  }
}

bool RegularFile::rewind() { return fd_ >= 0 && ::lseek(fd_, 0, SEEK_SET) == 0; }

bool RegularFile::skip(std::uint64_t count) {
  if (fd_ < 0) return false;
  return ::lseek(fd_, static_cast<off_t>(count), SEEK_CUR) >= 0;
}

bool RegularFile::readRest(std::string* bytes, std::string* reason) {
  bytes->clear();
  const off_t position = fd_ >= 0 ? ::lseek(fd_, 0, SEEK_CUR) : 0;
  if (position >= 0 && static_cast<std::uint64_t>(position) < size_) {
    bytes->reserve(static_cast<std::size_t>(size_ - static_cast<std::uint64_t>(position)));
  }
  char chunk[1 << 16];
  for (;;) {
    const long count = read(chunk, sizeof chunk, reason);
    if (count < 0) return false;
    if (count == 0) return true;
    bytes->append(chunk, static_cast<std::size_t>(count));
  }
}

void RegularFile::close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  size_ = 0;
}

FileProblem probeRegularFile(const std::string& path) {
  RegularFile file;
  return file.open(path);
}

bool isReadableRegularFile(const std::string& path) {
  return probeRegularFile(path) == FileProblem::kNone;
}

FileProblem readRegularFile(const std::string& path, std::size_t maxBytes, std::string* content) {
  RegularFile file;
  const FileProblem problem = file.open(path);
  if (problem != FileProblem::kNone) return problem;
  if (file.size() > maxBytes) return FileProblem::kTooLarge;
  // The size may change while reading: read on to the end, but never more
  // than allowed.
  std::string text;
  text.reserve(static_cast<std::size_t>(file.size()));
  char chunk[1 << 16];
  for (;;) {
    const long count = file.read(chunk, sizeof chunk);
    if (count < 0) return FileProblem::kUnreadable;
    if (count == 0) break;
    if (text.size() + static_cast<std::size_t>(count) > maxBytes) return FileProblem::kTooLarge;
    text.append(chunk, static_cast<std::size_t>(count));
  }
  *content = std::move(text);
  return FileProblem::kNone;
}

std::string describeFileProblem(FileProblem problem, const std::string& path) {
  const std::string name = "„" + path + "“";
  switch (problem) {
    case FileProblem::kNone:
      return "";
    case FileProblem::kMissing:
      return path.empty() ? "Es wurde keine Datei angegeben." : name + " existiert nicht.";
    case FileProblem::kNotRegular:
      return name + " ist keine gewöhnliche Datei (Verzeichnis, Pipe oder Gerät).";
    case FileProblem::kNoPermission:
      return "Keine Berechtigung, " + name + " zu lesen.";
    case FileProblem::kUnreadable:
      return name + " kann nicht gelesen werden.";
    case FileProblem::kTooLarge:
      return name + " ist zu groß.";
  }
  return name + " kann nicht gelesen werden.";
}
