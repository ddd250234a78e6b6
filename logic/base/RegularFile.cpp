#include "base/RegularFile.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

FileProblem problemOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return FileProblem::kMissing;
    case EACCES:
    case EPERM:
      return FileProblem::kNoPermission;
    case EISDIR:
      return FileProblem::kNotRegular;
    default:
      return FileProblem::kUnreadable;
  }
}

// Closes the descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Opens `path` for reading without blocking and checks that it is a regular
// file; *fd receives the open descriptor (or -1).
FileProblem openRegular(const char* path, int* fd, struct stat* info) {
  *fd = -1;
  if (path == nullptr || *path == '\0') return FileProblem::kMissing;
  // Anything but a regular file is not opened at all (opening a device can
  // have effects of its own).
  if (::stat(path, info) != 0) return problemOf(errno);
  if (!S_ISREG(info->st_mode)) return FileProblem::kNotRegular;
  // O_NONBLOCK: opening a FIFO without a writer returns at once instead of
  // waiting; it does not change reading a regular file.
  const int opened = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (opened < 0) return problemOf(errno);
  *fd = opened;
  // Checked again on what was opened: the path may have changed meanwhile.
  if (::fstat(opened, info) != 0) return problemOf(errno);
  if (!S_ISREG(info->st_mode)) return FileProblem::kNotRegular;
  return FileProblem::kNone;
}

}  // namespace

FileProblem probeRegularFile(const char* path) {
  int fd = -1;
  struct stat info {};
  const FileProblem problem = openRegular(path, &fd, &info);
  const Descriptor closer(fd);
  return problem;
}

FileProblem readRegularFile(const char* path, std::size_t maxBytes, std::string* content) {
  int fd = -1;
  struct stat info {};
  const FileProblem problem = openRegular(path, &fd, &info);
  const Descriptor closer(fd);
  if (problem != FileProblem::kNone) return problem;
  if (info.st_size < 0 || static_cast<unsigned long long>(info.st_size) > maxBytes) {
    return FileProblem::kTooLarge;
  }
  content->clear();
  content->reserve(static_cast<std::size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(closer.get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return problemOf(errno);
    }
    if (got == 0) break;
    // The file may have grown since fstat.
    if (content->size() + static_cast<std::size_t>(got) > maxBytes) return FileProblem::kTooLarge;
    content->append(buffer, static_cast<std::size_t>(got));
  }
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
