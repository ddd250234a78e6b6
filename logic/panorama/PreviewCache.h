#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include <opencv2/core.hpp>

#include "panorama/PreviewEntry.h"

class Logger;

// Previews of photographs kept on disk between runs, so that reopening a
// panorama need not decode every photograph at full size again.
//
// One file per preview in one directory, named "<16 hex digits>.prv" after
// previewKeyHash of its key; the format is described in PreviewEntry.h. The
// key stored inside the file decides: a damaged, truncated or foreign entry,
// or one of another key or size, is a miss, and the next store replaces it.
// What is read back is byte for byte what was stored.
//
// Thread safety: load and store may be called from any number of threads at
// once, and any number of processes may share the directory. A store writes a
// uniquely named temporary file (".<hash>.<pid>.<n>.tmp") in the directory
// and renames it onto the entry name, so readers only ever open complete
// files; the last of two stores of one key wins.
//
// The directory is made on first use (private to the user when this cache
// makes it); entries are files only the user may read. If the directory
// cannot be made or written, the cache reports that once (one log line) and
// is off from then on: loads miss and stores do nothing. A later write
// failure (a full disk) does the same.
//
// Size bound (file sizes of the entries): the directory is scanned on the
// first store and again after every kRescanStores stores or whenever the
// bytes this cache counts (the last scan's total plus what it wrote since)
// exceed the bound; a scan that finds more than the bound deletes the entries
// with the oldest modification time until at most 90 % of the bound remain.
// Loads never scan. A hit renews an entry's time when it is older than an
// hour, so entries in use outlive unused ones.
class PreviewCache {
 public:
  using Key = PreviewKey;
  // Receives the one line that says why the cache is off.
  using LogLine = std::function<void(const std::string&)>;

  static constexpr std::uint64_t kDefaultMaxBytes = std::uint64_t{256} << 20;
  static constexpr int kRescanStores = 256;
  static constexpr const char* kExtension = ".prv";

  // `directory` holds the entries (made with its parents on first use; empty
  // means no cache: off, with one log line). `maxBytes` bounds the total size
  // of the entries. Nothing is touched on disk here.
  explicit PreviewCache(std::string directory, std::uint64_t maxBytes = kDefaultMaxBytes, LogLine log = {});
  // The same, logging through `logger` (not owned, may be null, must outlive
  // the cache).
  PreviewCache(std::string directory, std::uint64_t maxBytes, Logger* logger);
  PreviewCache(const PreviewCache&) = delete;
  PreviewCache& operator=(const PreviewCache&) = delete;

  // The directory named by PANO_PREVIEW_CACHE_DIR when that is set and not
  // empty (tests and benchmarks keep away from the user's cache with it);
  // else the user's preview cache directory: "$XDG_CACHE_HOME/panorama-viewer/
  // previews" when XDG_CACHE_HOME is an absolute path, else "$HOME/.cache/
  // panorama-viewer/previews"; "" when neither is set.
  static std::string defaultDirectory();

  // The key of the photograph file `photoPath` (made absolute against the
  // working directory; symbolic links are not resolved) with its current
  // size and modification time, and `rule`. False when the file cannot be
  // examined or is not a regular file; *key is then left alone.
  static bool keyFor(const std::string& photoPath, const std::string& rule, Key* key);

  // The stored preview of `key` into *preview (a new image with its own
  // pixels). False on a miss - no entry, a damaged or foreign one, one whose
  // width and height differ from `expected` when that is not empty, or the
  // cache is off - with *preview left alone.
  bool load(const Key& key, cv::Mat* preview, cv::Size expected = cv::Size());
  // Keeps `preview` (8-bit, 1 or 3 channels, at most 32767 pixels a side and
  // 16 MiB of pixels) for `key`, replacing what was there. Other images are
  // skipped silently.
  void store(const Key& key, const cv::Mat& preview);

  const std::string& directory() const { return directory_; }
  // The file that holds (or would hold) the entry of `key`.
  std::string entryPath(const Key& key) const;
  // False once the cache has switched itself off.
  bool enabled() const { return !off_.load(); }
  // Directory scans done so far (the bookkeeping's cost, for tests).
  int scanCount() const { return scans_.load(); }

 private:
  // Makes the directory on first use; false when the cache is off.
  bool ready();
  // load and store once the directory is ready; they may throw bad_alloc.
  bool loadEntry(const Key& key, cv::Mat* preview, cv::Size expected);
  void storeEntry(const Key& key, const cv::Mat& preview);
  // Switches the cache off, logging `reason` if it was on.
  void switchOff(const std::string& reason);
  // Counts `bytes` just written and scans or evicts when due.
  void account(std::uint64_t bytes);
  // Sums the entries, deleting the oldest beyond the bound and temporary
  // files left by stores that died; returns the total kept. Holds bookMutex_.
  std::uint64_t scanAndEvict();

  std::string directory_;
  std::uint64_t maxBytes_;
  LogLine log_;
  std::once_flag readyOnce_;
  std::atomic<bool> off_{false};
  std::atomic<int> scans_{0};

  std::mutex bookMutex_;
  bool scanned_ = false;
  std::uint64_t knownBytes_ = 0;
  std::uint64_t scanLimit_ = 0;  // counted bytes that call for a scan
  int storesSinceScan_ = 0;
};
