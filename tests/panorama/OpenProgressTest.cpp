#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "panorama/OpenProgress.h"
#include "panorama/PicManager.h"
#include "support/TempDir.h"

namespace {

constexpr int kPhotos = 6;

// A description of kPhotos photographs of 40 x 30 pixels around the horizon,
// with their files, in the working directory.
void writeRing() {
  std::string groups;
  for (int id = 0; id < kPhotos; ++id) {
    const std::string name = std::to_string(id);
    for (const std::string& value : {name, std::string("90"), std::to_string(id * 60),
                                     std::string("0"), std::string("0"), std::string("30"),
                                     std::string("40")}) {
      groups += "<v>" + value + "</v>";
    }
    groups += "\n";
    cv::Mat pixels(30, 40, CV_8UC3, cv::Scalar(20 * id, 120, 200));
    ASSERT_TRUE(cv::imwrite(name + ".jpg", pixels));
  }
  std::ofstream("ring.xml", std::ios::binary)
      << "<?xml version=\"1.0\"?>\n<pano>\n <c>" << kPhotos
      << "</c>\n <cam><lens><n>Lens</n><f>18</f></lens><sensor><w>23.6</w><h>15.8</h></sensor>"
         "</cam>\n <pics>"
      << groups << "</pics>\n</pano>\n";
}

// The counts a progress reported, as "done/total".
struct Reports {
  std::mutex mutex;
  std::vector<std::string> seen;
  int highest = 0;
};

}  // namespace

// The count reaches the number of photographs whatever the threads, and a
// cancel stops the build before the next photograph: nothing is kept.
TEST(OpenProgress, CountsEveryPreviewAndCancelStopsBeforeTheNextPhotograph) {
  TempDir dir;
  ASSERT_NO_FATAL_FAILURE(writeRing());
  struct Case {
    const char* name;
    int threads;
    int cancelAtDone;  // -1: never; 0: before the open
    int status;
    int done;
  };
  const std::vector<Case> cases = {
      {"one thread", 1, -1, PicManager::kRead, kPhotos},
      {"three threads", 3, -1, PicManager::kRead, kPhotos},
      {"cancelled before", 1, 0, PicManager::kCancelled, 0},
      {"cancelled after two", 1, 2, PicManager::kCancelled, 2},
      {"cancelled after the last", 1, kPhotos, PicManager::kCancelled, kPhotos},
  };
  for (const Case& c : cases) {
    OpenProgress progress;
    Reports reports;
    progress.cancel = c.cancelAtDone == 0;
    progress.changed = [&](int done, int total) {
      std::lock_guard<std::mutex> lock(reports.mutex);
      reports.seen.push_back(std::to_string(done) + "/" + std::to_string(total));
      reports.highest = std::max(reports.highest, done);
      if (done == c.cancelAtDone) progress.cancel = true;
    };
    PicManager manager;
    manager.previewThreads = c.threads;
    manager.progress = &progress;
    EXPECT_EQ(manager.openPanorama("ring.xml"), c.status) << c.name << ": " << manager.error;
    EXPECT_EQ(progress.done, c.done) << c.name;
    EXPECT_EQ(progress.total, kPhotos) << c.name;
    ASSERT_FALSE(reports.seen.empty()) << c.name;
    EXPECT_EQ(reports.seen.front(), "0/" + std::to_string(kPhotos)) << c.name;
    EXPECT_EQ(reports.highest, c.done) << c.name;
    EXPECT_EQ(static_cast<int>(reports.seen.size()), c.done + 1) << c.name;
    if (c.status == PicManager::kRead) {
      EXPECT_EQ(manager.pictureCount, kPhotos) << c.name;
    } else {
      EXPECT_TRUE(manager.pictures.empty()) << c.name;
      EXPECT_EQ(manager.pictureCount, 0) << c.name;
      EXPECT_EQ(manager.error, PicManager::kCancelledReason) << c.name;
    }
  }
}

// Without a progress the open is as before, and a cancelled collection opens
// again normally.
TEST(OpenProgress, ACancelledCollectionOpensAgain) {
  TempDir dir;
  ASSERT_NO_FATAL_FAILURE(writeRing());
  OpenProgress cancelled;
  cancelled.cancel = true;
  PicManager manager;
  manager.progress = &cancelled;
  ASSERT_EQ(manager.openPanorama("ring.xml"), PicManager::kCancelled);
  manager.progress = nullptr;
  ASSERT_EQ(manager.openPanorama("ring.xml"), PicManager::kRead) << manager.error;
  EXPECT_EQ(manager.pictureCount, kPhotos);
  EXPECT_TRUE(manager.error.empty());
  EXPECT_NE(manager.findById(kPhotos - 1), nullptr);
}
