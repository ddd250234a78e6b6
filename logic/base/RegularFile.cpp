#include "base/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RegularFile::~RegularFile() { close(); }

void RegularFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
  position_ = 0;
}

RegularFile::Status RegularFile::open(const std::string& path) {
  close();
  // A name with a NUL byte would silently name a shorter path.
  if (path.empty() || path.find('\0') != std::string::npos) return Status::kMissing;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR || error == ELOOP || error == ENAMETOOLONG) {
      return Status::kMissing;
    }
    // Opening a device may fail in ways of its own (ENXIO for a socket).
    return error == ENXIO || error == ENODEV ? Status::kNotRegular : Status::kUnreadable;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    ::close(fd);
    return Status::kUnreadable;
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    return Status::kNotRegular;
  }
  fd_ = fd;
  size_ = info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
  return Status::kOpen;
}

std::size_t RegularFile::read(void* buffer, std::size_t count) {
  if (fd_ < 0) return 0;
  std::size_t done = 0;
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (done < count) {
    const ssize_t got = ::read(fd_, bytes + done, count - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  position_ += done;
  return done;
}

bool RegularFile::skip(std::uint64_t count) {
  if (fd_ < 0 || count > size_ - std::min(position_, size_)) return false;
  position_ += count;
  return ::lseek(fd_, static_cast<off_t>(position_), SEEK_SET) >= 0;
}

bool isReadableRegularFile(const std::string& path) {
  RegularFile file;
  return file.open(path) == RegularFile::Status::kOpen;
}

FileRead readRegularFile(const std::string& path, std::size_t maxBytes, std::string* content) {
  RegularFile file;
  switch (file.open(path)) {
    case RegularFile::Status::kOpen: break;
    case RegularFile::Status::kMissing: return FileRead::kMissing;
    case RegularFile::Status::kNotRegular: return FileRead::kNotRegular;
    case RegularFile::Status::kUnreadable: return FileRead::kUnreadable;
  }
  if (file.size() > maxBytes) return FileRead::kTooLarge;
  // The size may change while reading; read one byte more than allowed to
  // notice a file that grew.
  std::string text(static_cast<std::size_t>(file.size()), '\0');
  std::size_t got = file.read(text.data(), text.size());
  text.resize(got);
  char extra[4096];
  while (true) {
    const std::size_t more = file.read(extra, sizeof extra);
    if (more == 0) break;
    if (text.size() + more > maxBytes) return FileRead::kTooLarge;
    text.append(extra, more);
  }
  *content = std::move(text);
  return FileRead::kRead;
}
