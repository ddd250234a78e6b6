#include "PicLoaderTestSupport.h"

namespace {

class PicLoaderPrefetch : public PicLoaderFixture {
 protected:
  PicLoaderPrefetch() : PicLoaderFixture(6) {}
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
