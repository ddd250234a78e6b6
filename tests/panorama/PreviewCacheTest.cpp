#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/Logger.h"
#include "panorama/PreviewCache.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// An image of uniformly random bytes: any lost, moved or changed byte shows.
cv::Mat randomImage(int rows, int cols, int type, std::uint64_t seed) {
  cv::Mat image(rows, cols, type);
  cv::RNG random(seed + 1);
  random.fill(image, cv::RNG::UNIFORM, 0, 256);
  return image;
}

bool sameBytes(const cv::Mat& a, const cv::Mat& b) {
  if (a.size() != b.size() || a.type() != b.type()) return false;
  for (int row = 0; row < a.rows; ++row) {
    if (std::memcmp(a.ptr(row), b.ptr(row), a.cols * a.elemSize()) != 0) return false;
  }
  return true;
}

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

void setTime(const std::string& path, std::time_t seconds, long nanoseconds = 0) {
  const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

std::vector<unsigned char> readBytes(const std::string& path) {
  const std::string text = readWholeFile(path);
  return std::vector<unsigned char>(text.begin(), text.end());
}

void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  writeFile(path, std::string(bytes.begin(), bytes.end()));
}

// A key that names no real file (enough for everything but keyFor).
PreviewCache::Key madeUpKey(int i) {
  return {"/photos/" + std::to_string(i) + ".jpg", 100000u + i, 1700000000000000000LL + i, "bicubic-100-v1 3000x2000"};
}

// User and system time this process has used so far, in milliseconds.
double processMilliseconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// Page faults this process has taken so far that needed no disk.
long minorFaults() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

std::vector<std::string> filesIn(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(directory)) names.push_back(entry.path().filename().string());
  return names;
}

}  // namespace

TEST(PreviewCache, HitGivesTheStoredBytesInOwnPixels) {
  TempDir dir;
  const cv::Mat large = randomImage(200, 300, CV_8UC3, 9);
  const std::vector<cv::Mat> images = {randomImage(67, 100, CV_8UC3, 1), randomImage(100, 67, CV_8UC1, 2),
                                       randomImage(1, 1, CV_8UC3, 3), large(cv::Rect(7, 5, 101, 67))};
  for (std::size_t i = 0; i < images.size(); ++i) {
    PreviewCache(dir.file("cache")).store(madeUpKey(static_cast<int>(i)), images[i]);
  }
  PreviewCache cache(dir.file("cache"));  // as the next run of the program
  for (std::size_t i = 0; i < images.size(); ++i) {
    cv::Mat loaded;
    ASSERT_TRUE(cache.load(madeUpKey(static_cast<int>(i)), &loaded)) << i;
    EXPECT_TRUE(sameBytes(loaded, images[i])) << i;
    EXPECT_TRUE(loaded.isContinuous());
    EXPECT_NE(loaded.data, images[i].data);
    EXPECT_TRUE(cache.load(madeUpKey(static_cast<int>(i)), &loaded, images[i].size())) << i;
    cv::Mat untouched = images[0];
    EXPECT_FALSE(cache.load(madeUpKey(static_cast<int>(i)), &untouched, {images[i].cols + 1, images[i].rows}));
    EXPECT_EQ(untouched.data, images[0].data);
  }
  EXPECT_TRUE(cache.enabled());
  // The previews show the user's photographs: nobody else may read them.
  const fs::perms others = fs::perms::group_all | fs::perms::others_all;
  EXPECT_EQ(fs::status(dir.file("cache")).permissions() & others, fs::perms::none);
  EXPECT_EQ(fs::status(cache.entryPath(madeUpKey(0))).permissions() & others, fs::perms::none);
}

TEST(PreviewCache, ImagesItCannotKeepAreSkipped) {
  TempDir dir;
  PreviewCache cache(dir.file("cache"));
  const std::vector<cv::Mat> images = {cv::Mat(), cv::Mat(10, 10, CV_16UC3, cv::Scalar(1)),
                                       cv::Mat(10, 10, CV_8UC4, cv::Scalar(1)), cv::Mat(10, 10, CV_32FC1, cv::Scalar(1)),
                                       cv::Mat(10, 40000, CV_8UC1, cv::Scalar(1))};
  for (const cv::Mat& image : images) cache.store(madeUpKey(1), image);
  PreviewCache::Key longRule = madeUpKey(2);
  longRule.rule.assign(kPreviewMaxText + 1, 'r');
  cache.store(longRule, randomImage(5, 5, CV_8UC1, 1));
  cv::Mat loaded;
  EXPECT_FALSE(cache.load(madeUpKey(1), &loaded));
  EXPECT_FALSE(cache.load(longRule, &loaded));
  EXPECT_TRUE(filesIn(dir.file("cache")).empty());
  EXPECT_TRUE(cache.enabled());
}

// What happens between the store and the next load, and the key to load with
// afterwards.
struct ChangeCase {
  const char* name;
  std::function<void(const std::string& photo, const std::string& entry, PreviewCache& cache)> change;
};

TEST(PreviewCache, ChangedPhotographOrDamagedEntryMissesAndIsRebuilt) {
  auto flip = [](const std::string& entry, long offset) {
    std::vector<unsigned char> bytes = readBytes(entry);
    bytes[offset < 0 ? bytes.size() + offset : offset] ^= 0x10;
    writeBytes(entry, bytes);
  };
  // Rewrites the header fields at `offset` and seals the entry with a valid
  // checksum, so that only the field checks can catch it.
  auto patch = [](const std::string& entry, std::size_t offset, std::uint32_t value) {
    std::vector<unsigned char> bytes = readBytes(entry);
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<unsigned char>(value >> (8 * i));
    const std::uint64_t sum = checksum64(bytes.data(), bytes.size() - 8);
    for (int i = 0; i < 8; ++i) bytes[bytes.size() - 8 + i] = static_cast<unsigned char>(sum >> (8 * i));
    writeBytes(entry, bytes);
  };
  const std::vector<ChangeCase> cases = {
      {"photograph touched", [](auto& photo, auto&, auto&) { setTime(photo, 1700000100, 5); }},
      {"photograph touched by a nanosecond", [](auto& photo, auto&, auto&) { setTime(photo, 1700000000, 1); }},
      {"photograph replaced, same size",
       [](auto& photo, auto&, auto&) {
         writeFile(photo, "other bytes, same length!");
         setTime(photo, 1700000200);
       }},
      {"photograph grew", [](auto& photo, auto&, auto&) { writeFile(photo, "photograph bytes, and more"); }},
      {"photograph moved",
       [](auto& photo, auto&, auto&) {
         fs::rename(photo, photo + ".moved");
         fs::rename(photo + ".moved", photo + "2");
       }},
      {"entry truncated by half", [](auto&, auto& entry, auto&) { fs::resize_file(entry, fs::file_size(entry) / 2); }},
      {"entry lost its last byte", [](auto&, auto& entry, auto&) { fs::resize_file(entry, fs::file_size(entry) - 1); }},
      {"entry emptied", [](auto&, auto& entry, auto&) { fs::resize_file(entry, 0); }},
      {"entry grew a byte", [](auto&, auto& entry, auto&) { fs::resize_file(entry, fs::file_size(entry) + 1); }},
      {"entry is garbage",
       [](auto&, auto& entry, auto&) {
         cv::Mat noise = randomImage(1, static_cast<int>(fs::file_size(entry)), CV_8UC1, 77);
         writeFile(entry, std::string(noise.ptr<char>(), noise.cols));
       }},
      {"entry payload byte flipped", [flip](auto&, auto& entry, auto&) { flip(entry, -100); }},
      {"entry key byte flipped", [flip](auto&, auto& entry, auto&) { flip(entry, 60); }},
      {"entry checksum flipped", [flip](auto&, auto& entry, auto&) { flip(entry, -1); }},
      {"entry of another version", [patch](auto&, auto& entry, auto&) { patch(entry, 8, kPreviewEntryVersion + 1); }},
      {"entry claims another height", [patch](auto&, auto& entry, auto&) { patch(entry, 20, 68); }},
      {"entry has width and height swapped",
       [patch](auto&, auto& entry, auto&) {
         patch(entry, 20, 100);
         patch(entry, 24, 67);
       }},
      {"entry holds another key (a hash collision)",
       [](auto&, auto& entry, auto& cache) {
         cache.store(madeUpKey(5), randomImage(67, 100, CV_8UC3, 5));
         fs::copy_file(cache.entryPath(madeUpKey(5)), entry, fs::copy_options::overwrite_existing);
       }},
      {"entry replaced by a pipe",
       [](auto&, auto& entry, auto&) {
         fs::remove(entry);
         ASSERT_EQ(::mkfifo(entry.c_str(), 0644), 0);
       }},
  };
  const cv::Mat first = randomImage(67, 100, CV_8UC3, 1);
  const cv::Mat second = randomImage(67, 100, CV_8UC3, 2);
  for (const ChangeCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string photo = dir.file("photo.jpg");
    writeFile(photo, "photograph bytes, 25 long");
    setTime(photo, 1700000000);
    PreviewCache cache(dir.file("cache"));
    PreviewCache::Key key;
    ASSERT_TRUE(PreviewCache::keyFor(photo, "bicubic-100-v1 3000x2000", &key));
    cache.store(key, first);
    const std::string entry = cache.entryPath(key);

    c.change(photo, entry, cache);
    const std::string now = fs::exists(photo) ? photo : photo + "2";
    ASSERT_TRUE(PreviewCache::keyFor(now, key.rule, &key));
    cv::Mat loaded = second;
    EXPECT_FALSE(cache.load(key, &loaded, first.size()));
    EXPECT_EQ(loaded.data, second.data) << "a miss leaves the image alone";

    cache.store(key, second);
    ASSERT_TRUE(cache.load(key, &loaded, second.size()));
    EXPECT_TRUE(sameBytes(loaded, second));
    EXPECT_TRUE(cache.enabled());
  }
}

TEST(PreviewCache, KeyFollowsTheFileAndIgnoresDotParts) {
  TempDir dir;
  writeFile(dir.file("a.jpg"), "12345");
  setTime(dir.file("a.jpg"), 1700000000, 123456789);
  PreviewCache::Key key;
  PreviewCache::Key dotted;
  ASSERT_TRUE(PreviewCache::keyFor("a.jpg", "rule", &key));
  ASSERT_TRUE(PreviewCache::keyFor("./a.jpg", "rule", &dotted));
  EXPECT_EQ(key.path, dir.file("a.jpg"));
  EXPECT_EQ(key.fileSize, 5u);
  EXPECT_EQ(key.mtimeNs, 1700000000123456789LL);
  EXPECT_EQ(key.rule, "rule");
  EXPECT_EQ(dotted, key);
  for (const char* bad : {"", "missing.jpg", "."}) {
    PreviewCache::Key untouched = key;
    EXPECT_FALSE(PreviewCache::keyFor(bad, "rule", &untouched)) << bad;
    EXPECT_EQ(untouched, key);
  }
}

struct OffCase {
  const char* name;
  std::function<std::string(const TempDir&)> directory;  // made inside the temporary directory
  bool skipAsRoot;
};

TEST(PreviewCache, UnusableDirectoryCostsOneLogLineAndNothingElse) {
  const std::vector<OffCase> cases = {
      {"below a regular file",
       [](const TempDir& dir) {
         writeFile(dir.file("blocker"), "a file");
         return dir.file("blocker/previews");
       },
       false},
      {"no directory at all", [](const TempDir&) { return std::string(); }, false},
      {"read-only directory",
       [](const TempDir& dir) {
         fs::create_directory(dir.file("locked"));
         fs::permissions(dir.file("locked"), fs::perms::owner_read | fs::perms::owner_exec);
         return dir.file("locked");
       },
       true},
  };
  for (const OffCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.skipAsRoot && ::geteuid() == 0) {
      std::cout << "[ SKIPPED  ] " << c.name << ": root ignores permissions\n";
      continue;
    }
    TempDir dir;
    const std::string directory = c.directory(dir);
    std::vector<std::string> lines;
    PreviewCache cache(directory, PreviewCache::kDefaultMaxBytes, [&](const std::string& line) { lines.push_back(line); });
    cv::Mat loaded;
    for (int i = 0; i < 3; ++i) {
      cache.store(madeUpKey(i), randomImage(67, 100, CV_8UC3, i));
      EXPECT_FALSE(cache.load(madeUpKey(i), &loaded));
    }
    EXPECT_FALSE(cache.enabled());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("PreviewCache"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(directory), std::string::npos) << lines[0];
    EXPECT_TRUE(loaded.empty());
    if (fs::is_directory(directory)) {
      EXPECT_TRUE(filesIn(directory).empty());
    }
    if (fs::exists(dir.file("locked"))) fs::permissions(dir.file("locked"), fs::perms::owner_all);
  }
}

TEST(PreviewCache, LoggerGetsTheOneLine) {
  TempDir dir;
  writeFile(dir.file("blocker"), "a file");
  {
    Logger logger(dir.file("cache.log").c_str());
    PreviewCache cache(dir.file("blocker/previews"), PreviewCache::kDefaultMaxBytes, &logger);
    for (int i = 0; i < 3; ++i) cache.store(madeUpKey(i), randomImage(6, 10, CV_8UC1, i));
  }
  const std::string log = readWholeFile(dir.file("cache.log"));
  const std::size_t first = log.find("PreviewCache: cannot create ");
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_EQ(log.find("PreviewCache", first + 1), std::string::npos) << log;
}

TEST(PreviewCache, SizeBoundEvictsTheOldestFirst) {
  TempDir dir;
  const std::string directory = dir.file("cache");
  const cv::Mat image = randomImage(67, 100, CV_8UC3, 1);
  std::vector<unsigned char> bytes;
  ASSERT_TRUE(encodePreviewEntry(madeUpKey(0), image, &bytes));
  const std::uint64_t entrySize = bytes.size();
  {
    PreviewCache filler(directory);
    for (int i = 0; i < 8; ++i) {
      filler.store(madeUpKey(i), image);
      // Entry i is i minutes old plus a day, entry 0 the oldest.
      setTime(filler.entryPath(madeUpKey(i)), std::time(nullptr) - 86400 + 60 * i);
    }
  }
  // Room for 9.5 entries: the ninth store fits, the tenth goes over and
  // brings the cache down to 90 % (8.55 entries, so 8 entries stay); the
  // two oldest go, and entry 0, loaded just before, is not one of them.
  PreviewCache cache(directory, entrySize * 19 / 2);
  cv::Mat loaded;
  ASSERT_TRUE(cache.load(madeUpKey(0), &loaded));  // in use again: no longer the oldest
  cache.store(madeUpKey(8), image);
  EXPECT_EQ(filesIn(directory).size(), 9u);
  cache.store(madeUpKey(9), image);
  EXPECT_EQ(filesIn(directory).size(), 8u);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(cache.load(madeUpKey(i), &loaded), i == 0 || i >= 3) << i;
  }
  std::uint64_t total = 0;
  for (const auto& entry : fs::directory_iterator(directory)) total += entry.file_size();
  EXPECT_LE(total, entrySize * 19 / 2);
}

TEST(PreviewCache, BookkeepingScansOncePerOpenAndEveryFewHundredStores) {
  TempDir dir;
  const cv::Mat image = randomImage(6, 10, CV_8UC1, 1);
  PreviewCache cache(dir.file("cache"));
  cv::Mat loaded;
  for (int i = 0; i < 100; ++i) EXPECT_FALSE(cache.load(madeUpKey(i), &loaded));
  EXPECT_EQ(cache.scanCount(), 0);
  for (int i = 0; i < PreviewCache::kRescanStores + 10; ++i) cache.store(madeUpKey(i), image);
  EXPECT_EQ(cache.scanCount(), 2);
  // A stale temporary file of a store that died is swept by a scan; a fresh
  // one (a store of another viewer under way) stays.
  writeFile(dir.file("cache/.0123456789abcdef.999.1.tmp"), "half");
  setTime(dir.file("cache/.0123456789abcdef.999.1.tmp"), std::time(nullptr) - 7200);
  writeFile(dir.file("cache/.0123456789abcdef.999.2.tmp"), "half");
  for (int i = 0; i < PreviewCache::kRescanStores; ++i) cache.store(madeUpKey(i), image);
  EXPECT_EQ(cache.scanCount(), 3);
  EXPECT_FALSE(fs::exists(dir.file("cache/.0123456789abcdef.999.1.tmp")));
  EXPECT_TRUE(fs::exists(dir.file("cache/.0123456789abcdef.999.2.tmp")));
}

TEST(PreviewCache, ThreadsStoringAndLoadingAtOnceSeeWholeEntries) {
  TempDir dir;
  constexpr int kKeys = 24;
  std::vector<cv::Mat> images;
  for (int i = 0; i < kKeys; ++i) images.push_back(randomImage(67, 100, CV_8UC3, i));
  PreviewCache cache(dir.file("cache"));
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 10; ++round) {
        for (int i = 0; i < kKeys; ++i) {
          const int k = (i * 5 + t * 7 + round) % kKeys;
          cv::Mat loaded;
          if (cache.load(madeUpKey(k), &loaded) && !sameBytes(loaded, images[k])) ++wrong;
          if ((k + t) % 2 == 0) cache.store(madeUpKey(k), images[k]);
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  for (int i = 0; i < kKeys; ++i) {
    cv::Mat loaded;
    ASSERT_TRUE(cache.load(madeUpKey(i), &loaded)) << i;
    EXPECT_TRUE(sameBytes(loaded, images[i])) << i;
  }
}

TEST(PreviewCache, TwoProcessesFillingAtOnceLeaveOnlyCompleteEntries) {
  TempDir dir;
  const std::string directory = dir.file("cache");
  constexpr int kKeys = 60;
  std::vector<cv::Mat> images;
  for (int i = 0; i < kKeys; ++i) images.push_back(randomImage(67, 100, i % 3 ? CV_8UC3 : CV_8UC1, i));
  std::vector<pid_t> children;
  for (int child = 0; child < 2; ++child) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      // The child stores every preview three times, in its own order, and
      // checks whatever it reads meanwhile; its exit code counts the faults.
      PreviewCache cache(directory);
      int wrong = 0;
      for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < kKeys; ++i) {
          const int k = child == 0 ? i : kKeys - 1 - i;
          cache.store(madeUpKey(k), images[k]);
          const int other = (k * 7 + round) % kKeys;
          cv::Mat loaded;
          if (cache.load(madeUpKey(other), &loaded) && !sameBytes(loaded, images[other])) ++wrong;
        }
      }
      ::_exit(wrong > 100 ? 100 : wrong + (cache.enabled() ? 0 : 101));
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  PreviewCache cache(directory);
  for (int i = 0; i < kKeys; ++i) {
    cv::Mat loaded;
    ASSERT_TRUE(cache.load(madeUpKey(i), &loaded)) << i;
    EXPECT_TRUE(sameBytes(loaded, images[i])) << i;
  }
  EXPECT_EQ(filesIn(directory).size(), static_cast<std::size_t>(kKeys)) << "no temporary file is left";
}

TEST(PreviewCache, LoadingHundredFiftyPreviewsTakesMilliseconds) {
  TempDir dir;
  constexpr int kCount = 150;
  {
    PreviewCache cache(dir.file("cache"));
    for (int i = 0; i < kCount; ++i) cache.store(madeUpKey(i), randomImage(67, 100, CV_8UC3, i));
  }
  // On a virtual machine most of the first pass goes to page faults on the
  // fresh memory the previews land in, which the program pays for however it
  // makes them; the second pass, whose loads reuse the memory of the images
  // they replace, shows the cache's own work.
  std::vector<cv::Mat> loaded(kCount);
  for (const char* pass : {"fresh memory", "reused memory"}) {
    PreviewCache cache(dir.file("cache"));  // a fresh cache, as on reopening
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = processMilliseconds();
    const long faultsStart = minorFaults();
    int hits = 0;
    for (int i = 0; i < kCount; ++i) hits += cache.load(madeUpKey(i), &loaded[i]) ? 1 : 0;
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::cout << "[ MEASURED ] " << pass << ": loading " << kCount << " previews of 100 x 67 x 3 took " << ms
              << " ms (" << processMilliseconds() - cpuStart << " ms of processor time, " << minorFaults() - faultsStart
              << " page faults)\n";
    RecordProperty(std::string("load_150_ms_") + pass, std::to_string(ms));
    EXPECT_EQ(hits, kCount);
    EXPECT_LT(ms, 500.0) << "far beyond the few milliseconds this should take";
  }
}

struct DirectoryCase {
  const char* xdg;   // nullptr: unset
  const char* home;  // nullptr: unset
  const char* expected;
};

TEST(PreviewCache, DefaultDirectoryFollowsXdgThenHome) {
  const std::vector<DirectoryCase> cases = {
      {"/x/cache", "/home/u", "/x/cache/panorama-viewer/previews"},
      {"/x/cache/", "/home/u", "/x/cache/panorama-viewer/previews"},
      {"relative", "/home/u", "/home/u/.cache/panorama-viewer/previews"},
      {"", "/home/u", "/home/u/.cache/panorama-viewer/previews"},
      {nullptr, "/home/u", "/home/u/.cache/panorama-viewer/previews"},
      {nullptr, nullptr, ""},
      {nullptr, "", ""},
  };
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  const char* chosen = std::getenv("PANO_PREVIEW_CACHE_DIR");
  const std::optional<std::string> savedXdg = xdg ? std::optional<std::string>(xdg) : std::nullopt;
  const std::optional<std::string> savedHome = home ? std::optional<std::string>(home) : std::nullopt;
  const std::optional<std::string> savedChosen = chosen ? std::optional<std::string>(chosen) : std::nullopt;
  auto set = [](const char* name, const char* value) {
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  };
  // An empty override counts as none; a set one wins over both.
  for (const char* override : {static_cast<const char*>(nullptr), ""}) {
    set("PANO_PREVIEW_CACHE_DIR", override);
    for (const DirectoryCase& c : cases) {
      set("XDG_CACHE_HOME", c.xdg);
      set("HOME", c.home);
      EXPECT_EQ(PreviewCache::defaultDirectory(), c.expected) << (c.xdg ? c.xdg : "(unset)");
    }
  }
  set("PANO_PREVIEW_CACHE_DIR", "/tmp/chosen previews");
  set("XDG_CACHE_HOME", "/x/cache");
  EXPECT_EQ(PreviewCache::defaultDirectory(), "/tmp/chosen previews");
  set("PANO_PREVIEW_CACHE_DIR", savedChosen ? savedChosen->c_str() : nullptr);
  set("XDG_CACHE_HOME", savedXdg ? savedXdg->c_str() : nullptr);
  set("HOME", savedHome ? savedHome->c_str() : nullptr);
}
