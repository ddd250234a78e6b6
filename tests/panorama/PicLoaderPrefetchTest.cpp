#include "PicLoaderTestSupport.h"

#include <atomic>

namespace {

class PicLoaderPrefetch : public PicLoaderFixture {
 protected:
  PicLoaderPrefetch() : PicLoaderFixture(6) {}

  // Records of `owner` over every photograph, boxes of 40 + 30 i (+ grow)
  // view pixels over 100 photograph pixels, and the target sizes they ask for.
  std::vector<std::pair<int, int>> recordsFor(Picture* owner, int grow) {
    std::vector<std::pair<int, int>> targets;
    for (std::size_t i = 0; i < photos.size(); ++i) {
      const int across = 40 + 30 * static_cast<int>(i) + grow;
      addRecord(owner, photos[i].get(), across, across, 100, 100);
      targets.emplace_back(400 * across / 100, 300 * across / 100);
    }
    return targets;
  }
};

// Twin photographs loaded one by one, as a loader without prefetching would.
std::vector<cv::Mat> loadOneByOne(const std::vector<std::unique_ptr<Picture>>& photos,
                                   const std::vector<std::pair<int, int>>& targets) {
  std::vector<cv::Mat> images;
  for (std::size_t i = 0; i < photos.size(); ++i) {
    Picture twin(photos[i]->id, 400, 300, 50.0, 36.0, 24.0, 1.5, 0.0, 0.0f, 0.0);
    twin.setPitch(Picture::kPhotoPitch);
    EXPECT_TRUE(twin.setFile(photos[i]->fileName));
    twin.keepCurrent = false;
    cv::Mat held = twin.acquireImage();
    twin.requestScale(targets[i].first, targets[i].second, &held);
    images.push_back(held.clone());
  }
  return images;
}

}  // namespace

TEST_F(PicLoaderPrefetch, ARefinementReadsEveryFileOnceAndLoadsWhatOneByOneLoadsGive) {
  std::vector<std::pair<int, int>> targets;
  for (std::size_t i = 0; i < photos.size(); ++i) {
    // View boxes of 40 + 30 i pixels over photograph boxes of 100 pixels.
    const int across = 40 + 30 * static_cast<int>(i);
    addRecord(&view, photos[i].get(), across, across, 100, 100);
    targets.emplace_back(400 * across / 100, 300 * across / 100);
  }
  std::vector<int> readsBefore;
  for (const auto& photo : photos) readsBefore.push_back(photo->fileReads);

  loader->loadNeededPictures(&view, true);

  const std::vector<cv::Mat> expected = loadOneByOne(photos, targets);
  for (std::size_t i = 0; i < photos.size(); ++i) {
    EXPECT_EQ(photos[i]->fileReads - readsBefore[i], 1) << "photograph " << i;
    ASSERT_EQ(photos[i]->image.size(), expected[i].size()) << "photograph " << i;
    EXPECT_EQ(cv::norm(photos[i]->image, expected[i], cv::NORM_INF), 0.0) << "photograph " << i;
  }
  const auto log = messages();
  const auto start = std::find(log.begin(), log.end(), "PicLoader::loadNeededPictures N=6");
  ASSERT_EQ(log.end() - start, static_cast<long>(1 + photos.size()));
  for (std::size_t i = 0; i < photos.size(); ++i) {
    const std::string& line = start[static_cast<long>(1 + i)];
    EXPECT_EQ(line.rfind("PicLoader::load ID: " + std::to_string(i) + ", requested scale done", 0), 0u)
        << line;
  }
}

TEST_F(PicLoaderPrefetch, APrefetchedImageThatNoLoadTakesIsDropped) {
  // A photograph already held at a larger scale is not decoded ahead, and a
  // decoded image a load does not take does not linger for a later load.
  addRecord(&view, photos[0].get(), 100, 100, 100, 100);
  addRecord(&view, photos[1].get(), 100, 100, 100, 100);
  photos[1]->prefetchFullImage();
  photos[1]->dropPrefetched();
  const int reads = photos[1]->fileReads;
  loader->loadNeededPictures(&view, true);
  EXPECT_EQ(photos[1]->fileReads, reads + 1);
  EXPECT_EQ(photos[1]->image.cols, 400);

  loader->freeUnneded(photos[2].get());  // view copy without partners: frees all
  EXPECT_TRUE(photos[0]->previewIsCurrent());
  const int again = photos[0]->fileReads;
  photos[0]->keepCurrent = false;
  photos[0]->acquireImage();
  EXPECT_EQ(photos[0]->fileReads, again + 1) << "the file is read anew, not taken from a stale decode";
}


// Decoding ahead for a view reads each file its refinement would read once
// (a stopped decode reads none); the refinement then reads none and holds
// exactly what it would have loaded itself.
TEST_F(PicLoaderPrefetch, TheRefinementTakesWhatWasDecodedAheadForItsView) {
  const auto targets = recordsFor(&view, 0);
  // Reads since the previews were made (which may have read the files).
  std::vector<int> before;
  for (const auto& photo : photos) before.push_back(photo->fileReads);
  const auto readsOf = [&](std::size_t i) { return photos[i]->fileReads - before[i]; };
  std::atomic<bool> stop{true};
  loader->decodeAhead(&view, stop);
  for (std::size_t i = 0; i < photos.size(); ++i) EXPECT_EQ(readsOf(i), 0);
  EXPECT_EQ(loader->aheadBytes(), 0u);

  stop = false;
  loader->decodeAhead(&view, stop);
  for (std::size_t i = 0; i < photos.size(); ++i) EXPECT_EQ(readsOf(i), 1);
  EXPECT_GT(loader->aheadBytes(), 0u);
  loader->decodeAhead(&view, stop);  // what is decoded already is kept
  for (std::size_t i = 0; i < photos.size(); ++i) EXPECT_EQ(readsOf(i), 1);

  loader->loadNeededPictures(&view, true);
  EXPECT_EQ(loader->aheadBytes(), 0u);
  const std::vector<cv::Mat> expected = loadOneByOne(photos, targets);
  for (std::size_t i = 0; i < photos.size(); ++i) {
    EXPECT_EQ(readsOf(i), 1) << "photograph " << i;
    ASSERT_EQ(photos[i]->image.size(), expected[i].size()) << "photograph " << i;
    EXPECT_EQ(cv::norm(photos[i]->image, expected[i], cv::NORM_INF), 0.0) << "photograph " << i;
  }
}

// Decodes made ahead for one view are freed, never shown, when another view
// (slightly larger sizes) refines: it loads its own sizes.
TEST_F(PicLoaderPrefetch, DecodesMadeAheadForAnotherViewAreFreed) {
  recordsFor(&view, 0);
  Picture other{-1, 700, 480, 50.0, 35.0, 24.0, 1.5, 0.0, 0.0f, -1.0};
  const auto targets = recordsFor(&other, 5);
  const std::atomic<bool> stop{false};
  loader->decodeAhead(&view, stop);
  EXPECT_GT(loader->aheadBytes(), 0u);
  loader->loadNeededPictures(&other, true);
  EXPECT_EQ(loader->aheadBytes(), 0u);
  const std::vector<cv::Mat> expected = loadOneByOne(photos, targets);
  for (std::size_t i = 0; i < photos.size(); ++i) {
    ASSERT_EQ(photos[i]->image.size(), expected[i].size()) << "photograph " << i;
    EXPECT_EQ(cv::norm(photos[i]->image, expected[i], cv::NORM_INF), 0.0) << "photograph " << i;
  }
}
