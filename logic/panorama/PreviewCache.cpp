#include "panorama/PreviewCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "base/Logger.h"

namespace {

// An entry can be no larger than this; larger files are not read at all.
constexpr std::uint64_t kMaxEntryBytes = kPreviewEntryFixedBytes + 2 * kPreviewMaxText + kPreviewMaxPayload;
// A hit renews the entry's time when it is older than this (seconds).
constexpr std::time_t kRenewAge = 3600;
// Temporary files older than this (seconds) were left by a store that died.
constexpr std::time_t kStaleTemporary = 3600;
// Tries at a fresh temporary name when one is taken.
constexpr int kTemporaryTries = 4;

// Every temporary name of this process is different.
std::atomic<std::uint64_t> temporaryCounter{0};

std::string errnoText(int error) { return std::error_code(error, std::generic_category()).message(); }

std::string hexHash(std::uint64_t hash) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

bool isEntryName(const std::string& name) {
  const std::string extension = PreviewCache::kExtension;
  if (name.size() != 16 + extension.size() || name.compare(16, std::string::npos, extension) != 0) {
    return false;
  }
  return std::all_of(name.begin(), name.begin() + 16,
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool isTemporaryName(const std::string& name) {
  return name.size() > 5 && name[0] == '.' && name.compare(name.size() - 4, 4, ".tmp") == 0;
}

// Reads exactly bytes->size() bytes; false on an error or an early end.
// Bytes appended after the fstat that sized the buffer are not read: the
// entry's own lengths and checksum decide whether what was read is whole.
bool readAll(int fd, std::vector<unsigned char>* bytes) {
  std::size_t done = 0;
  while (done < bytes->size()) {
    const ssize_t got = ::read(fd, bytes->data() + done, bytes->size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

// Writes all of `bytes`; false with errno set on a failure.
bool writeAll(int fd, const std::vector<unsigned char>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return false;
    if (put == 0) {
      errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(put);
  }
  return true;
}

bool earlier(const timespec& a, const timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec < b.tv_sec : a.tv_nsec < b.tv_nsec;
}

}  // namespace

PreviewCache::PreviewCache(std::string directory, std::uint64_t maxBytes, LogLine log)
    : directory_(std::move(directory)), maxBytes_(maxBytes), log_(std::move(log)) {}

PreviewCache::PreviewCache(std::string directory, std::uint64_t maxBytes, Logger* logger)
    : PreviewCache(std::move(directory), maxBytes, LogLine()) {
  if (logger != nullptr) {
    log_ = [logger](const std::string& line) { logger->log(line); };
  }
}

std::string PreviewCache::defaultDirectory() {
  const char* chosen = std::getenv("PANO_PREVIEW_CACHE_DIR");
  if (chosen != nullptr && chosen[0] != '\0') {
    return chosen;
  }
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    return (std::filesystem::path(xdg) / "panorama-viewer" / "previews").string();
  }
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') {
    return (std::filesystem::path(home) / ".cache" / "panorama-viewer" / "previews").string();
  }
  return "";
}

bool PreviewCache::keyFor(const std::string& photoPath, const std::string& rule, Key* key) {
  struct stat info;
  if (photoPath.empty() || ::stat(photoPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return false;
  }
  std::error_code failure;
  const std::filesystem::path absolute = std::filesystem::absolute(photoPath, failure);
  if (failure) {
    return false;
  }
  // "." parts and doubled slashes are dropped so that "./a.jpg" and "a.jpg"
  // share an entry; ".." stays, as it may climb out of a symbolic link.
  std::filesystem::path clean;
  for (const std::filesystem::path& part : absolute) {
    if (!part.empty() && part != ".") clean /= part;
  }
  key->path = clean.string();
  key->fileSize = static_cast<std::uint64_t>(info.st_size);
  key->mtimeNs = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  key->rule = rule;
  return true;
}

std::string PreviewCache::entryPath(const Key& key) const {
  return (std::filesystem::path(directory_) / (hexHash(previewKeyHash(key)) + kExtension)).string();
}

void PreviewCache::switchOff(const std::string& reason) {
  if (!off_.exchange(true) && log_) {
    log_("PreviewCache: " + reason + "; previews are made from the photographs");
  }
}

bool PreviewCache::ready() {
  std::call_once(readyOnce_, [this] {
    if (directory_.empty()) {
      switchOff("no cache directory (neither XDG_CACHE_HOME nor HOME is set)");
      return;
    }
    std::error_code failure;
    const bool made = std::filesystem::create_directories(directory_, failure);
    if (failure || !std::filesystem::is_directory(directory_, failure)) {
      switchOff("cannot create " + directory_ + (failure ? ": " + failure.message() : ""));
      return;
    }
    if (made) {
      // Previews show the user's photographs: keep them to the user, as the
      // entries themselves are.
      ::chmod(directory_.c_str(), 0700);
    }
    if (::access(directory_.c_str(), R_OK | W_OK | X_OK) != 0) {
      switchOff("cannot write " + directory_ + ": " + errnoText(errno));
    }
  });
  return !off_.load();
}

bool PreviewCache::load(const Key& key, cv::Mat* preview, cv::Size expected) {
  try {
    return ready() && loadEntry(key, preview, expected);
  } catch (...) {
    return false;  // out of memory: a miss, and the preview is made from the photograph
  }
}

void PreviewCache::store(const Key& key, const cv::Mat& preview) {
  try {
    if (ready()) {
      storeEntry(key, preview);
    }
  } catch (...) {
    // Out of memory: the preview is simply not kept.
  }
}

bool PreviewCache::loadEntry(const Key& key, cv::Mat* preview, cv::Size expected) {
  // Non-blocking, so that a pipe someone put in the entry's place cannot
  // hang the caller; a regular file reads the same either way.
  const int fd = ::open(entryPath(key).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    return false;
  }
  bool hit = false;
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<std::uint64_t>(info.st_size) >= kPreviewEntryFixedBytes &&
      static_cast<std::uint64_t>(info.st_size) <= kMaxEntryBytes) {
    std::vector<unsigned char> bytes(static_cast<std::size_t>(info.st_size));
    hit = readAll(fd, &bytes) && decodePreviewEntry(bytes.data(), bytes.size(), key, expected, preview);
    if (hit && info.st_mtim.tv_sec + kRenewAge < std::time(nullptr)) {
      ::futimens(fd, nullptr);  // failing to renew only makes the entry older
    }
  }
  ::close(fd);
  return hit;
}

void PreviewCache::storeEntry(const Key& key, const cv::Mat& preview) {
  std::vector<unsigned char> bytes;
  if (!encodePreviewEntry(key, preview, &bytes)) {
    return;
  }
  const std::string target = entryPath(key);
  const std::string stem =
      (std::filesystem::path(directory_) / ("." + hexHash(previewKeyHash(key)) + "." + std::to_string(::getpid()) + "."))
          .string();
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < kTemporaryTries && fd < 0; ++attempt) {
    temporary = stem + std::to_string(temporaryCounter.fetch_add(1)) + ".tmp";
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 && errno != EEXIST) {
      break;
    }
  }
  if (fd < 0) {
    switchOff("cannot write " + temporary + ": " + errnoText(errno));
    return;
  }
  bool written = writeAll(fd, bytes);
  int error = written ? 0 : errno;
  if (::close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written && ::rename(temporary.c_str(), target.c_str()) != 0) {
    written = false;
    error = errno;
  }
  if (!written) {
    ::unlink(temporary.c_str());
    switchOff("cannot write " + target + ": " + errnoText(error));
    return;
  }
  account(bytes.size());
}

void PreviewCache::account(std::uint64_t bytes) {
  std::lock_guard<std::mutex> lock(bookMutex_);
  knownBytes_ += bytes;
  ++storesSinceScan_;
  if (scanned_ && storesSinceScan_ < kRescanStores && knownBytes_ <= scanLimit_) {
    return;
  }
  knownBytes_ = scanAndEvict();
  scanned_ = true;
  storesSinceScan_ = 0;
  // When the oldest entries could not be deleted, wait for another tenth of
  // the bound before trying again instead of scanning on every store.
  scanLimit_ = std::max(maxBytes_, knownBytes_ > maxBytes_ ? knownBytes_ + maxBytes_ / 10 : maxBytes_);
}

std::uint64_t PreviewCache::scanAndEvict() {
  ++scans_;
  struct Entry {
    std::string path;
    std::uint64_t bytes;
    timespec time;
  };
  std::vector<Entry> entries;
  std::uint64_t total = 0;
  const std::time_t now = std::time(nullptr);
  std::error_code failure;
  for (std::filesystem::directory_iterator it(directory_, failure), end; !failure && it != end;
       it.increment(failure)) {
    const std::string name = it->path().filename().string();
    const std::string path = it->path().string();
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
      continue;
    }
    if (isEntryName(name)) {
      entries.push_back({path, static_cast<std::uint64_t>(info.st_size), info.st_mtim});
      total += static_cast<std::uint64_t>(info.st_size);
    } else if (isTemporaryName(name) && info.st_mtime + kStaleTemporary < now) {
      ::unlink(path.c_str());
    }
  }
  if (total <= maxBytes_) {
    return total;
  }
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    if (earlier(a.time, b.time)) return true;
    if (earlier(b.time, a.time)) return false;
    return a.path < b.path;
  });
  const std::uint64_t target = maxBytes_ / 10 * 9;
  for (const Entry& entry : entries) {
    if (total <= target) {
      break;
    }
    // Another process may have deleted or replaced it already: either way
    // its bytes are gone from the count.
    if (::unlink(entry.path.c_str()) == 0 || errno == ENOENT) {
      total -= entry.bytes;
    }
  }
  return total;
}
