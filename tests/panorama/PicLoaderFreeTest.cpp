#include "PicLoaderTestSupport.h"

namespace {

// Five photographs in a chain 0 - 1 - 2 - 3 - 4; the view overlaps photograph 0.
class PicLoaderFree : public PicLoaderFixture {
 protected:
  PicLoaderFree() : PicLoaderFixture(5) {
    for (int id = 0; id + 1 < 5; ++id) link(photos[id].get(), photos[id + 1].get());
    addRecord(&view, photos[0].get(), 25, 15, 50, 30);
  }
  bool scaledToHalf(int id) const { return photos[id]->image.cols == 200 && !photos[id]->previewIsCurrent(); }
};

TEST_F(PicLoaderFree, PhotographsWithinThreeStepsStayAndFartherOnesDropToThePreview) {
  for (int id = 2; id < 5; ++id) forceLoad(photos[id].get(), 200, 150);
  std::unique_ptr<Picture> copy = view.copyWithoutImages();
  for (int id = 0; id < 5; ++id) EXPECT_EQ(loader->isNearView(photos[id].get(), copy.get()), id < 4) << id;

  loader->freeUnneded(copy.get());
  EXPECT_TRUE(logged("PicLoader::freeUnneded VirtPic OvCount: 1"));
  EXPECT_EQ(messages().back(), "PicLoader::free ID: 4");
  EXPECT_TRUE(scaledToHalf(2));
  EXPECT_TRUE(scaledToHalf(3));
  EXPECT_TRUE(photos[4]->previewIsCurrent());
  EXPECT_TRUE(photos[4]->keepCurrent);
  EXPECT_EQ(photos[4]->useCount, 0);
  EXPECT_EQ(loader->loadedCount, 2);
  EXPECT_FALSE(loader->locked);
}

TEST_F(PicLoaderFree, ViewWithoutPartnersLoadsNothingAndFreesEverything) {
  forceLoad(photos[0].get(), 200, 150);
  forceLoad(photos[3].get(), 200, 150);
  Picture empty(-1, 700, 480, 50.0, 35.0, 24.0, 1.5, 3.0, 0.0f, -1.0);
  loader->loadNeededPictures(&empty, true);
  EXPECT_EQ(messages().back(), "PicLoader::loadNeededPictures N=0");
  EXPECT_EQ(loader->loadedCount, 2);

  loader->freeUnneded(empty.copyWithoutImages().get());
  const auto all = messages();
  EXPECT_EQ(std::vector<std::string>(all.end() - 3, all.end()),
            (std::vector<std::string>{"PicLoader::freeUnneded VirtPic OvCount: 0",
                                      "PicLoader::free ID: 0", "PicLoader::free ID: 3"}));
  EXPECT_EQ(loader->loadedCount, 0);
  for (auto& photo : photos) EXPECT_TRUE(photo->previewIsCurrent());
}

TEST_F(PicLoaderFree, FreeWithoutAnEntryDoesNothingAndLogsNothing) {
  Picture stranger(9, 400, 300, 50.0, 36.0, 24.0, 1.5, 0.0, 0.0f, 9.0);
  const std::string before = readWholeFile(logPath);
  for (Picture* p : {photos[1].get(), &view, &stranger, static_cast<Picture*>(nullptr)}) loader->free(p);
  EXPECT_EQ(readWholeFile(logPath), before);
  EXPECT_EQ(loader->loadedCount, 0);
}

TEST_F(PicLoaderFree, AnotherHolderKeepsTheImageAfterFree) {
  Picture* photo = photos[4].get();
  forceLoad(photo, 200, 150);
  cv::Mat drawing = photo->acquireImage();  // the assembler's hold
  loader->free(photo);
  EXPECT_TRUE(scaledToHalf(4));
  EXPECT_FALSE(photo->keepCurrent);
  photo->releaseImage();
  EXPECT_TRUE(photo->previewIsCurrent());
  EXPECT_TRUE(photo->keepCurrent);
}

TEST_F(PicLoaderFree, WalksSkipPartnersOutsideTheCollection) {
  Picture stranger(12, 400, 300, 50.0, 36.0, 24.0, 1.5, 0.0, 0.0f, 12.0);
  // Through the stranger, photograph 0 would be three steps from 4.
  link(photos[4].get(), &stranger);
  link(&stranger, photos[1].get());
  photos[3]->overlaps.push_back({{0, 0}, {0, 0}, 1, &view, {}, {}, -1});
  forceLoad(photos[4].get(), 200, 150);
  EXPECT_FALSE(loader->isNearView(photos[4].get(), view.copyWithoutImages().get()));
  loader->loadNeighbours(&view);
  EXPECT_EQ(loader->loadedCount, 3);  // 4, and 1 and 2 from the walk
  EXPECT_EQ(stranger.useCount, 0);
}

TEST_F(PicLoaderFree, NeighboursAreAskedForTheScaleOfThePictureTheyWereReachedThrough) {
  loader->loadNeededPictures(&view, true);  // photograph 0 at scale 0.5
  loader->loadNeighbours(&view);
  const auto all = messages();
  EXPECT_EQ(std::vector<std::string>(all.end() - 3, all.end()),
            (std::vector<std::string>{"PicLoader::loadNeighbours",
                                      "PicLoader::load ID: 1, requested scale NOT done",
                                      "PicLoader::load ID: 2, requested scale NOT done"}));
  EXPECT_DOUBLE_EQ(photos[1]->requestedScale, 0.5);
  EXPECT_DOUBLE_EQ(photos[2]->requestedScale, 0.5);
  EXPECT_EQ(loader->loaded[3], nullptr);
  EXPECT_EQ(loader->loadedCount, 3);
  EXPECT_FALSE(loader->locked);
}

}  // namespace
