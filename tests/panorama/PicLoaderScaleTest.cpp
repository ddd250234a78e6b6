#include <climits>
#include <cmath>
#include <memory>
#include <string>

#include "PicLoaderTestSupport.h"
#include "camera/GeneralCamera.h"

namespace {

class PicLoaderScale : public PicLoaderFixture {
 protected:
  PicLoaderScale() : PicLoaderFixture(2) {}
};

TEST_F(PicLoaderScale, ConstructorLogsItsTwoSteps) {
  EXPECT_EQ(messages(), (std::vector<std::string>{
                            "PicLoader::PicLoader()",
                            "PicLoader::PicLoader() init loaded[] and visited[]"}));
}

TEST_F(PicLoaderScale, TargetWidthIsTheTruncatedQuotientOfTheBoxes) {
  struct Case { int fullWidth, viewWidth, photoWidth, expected; };
  for (const Case c : {Case{4000, 100, 400, 1000}, Case{3000, 7, 20, 1050}, Case{3001, 7, 20, 1050}}) {
    // No file and keepCurrent set: the request is only recorded, and the
    // tiny height ratio leaves the width ratio as the requested scale.
    Picture photo(1, c.fullWidth, 2000, 50.0, 36.0, 24.0, 1.5, 0.0, 0.0f, 1.0);
    photo.keepCurrent = true;
    Picture target(-1, 700, 480, 50.0, 35.0, 24.0, 1.5, 0.0, 0.0f, -1.0);
    addRecord(&target, &photo, c.viewWidth, 1, c.photoWidth, 1000);
    loader->loadNeededPictures(&target, false);
    EXPECT_NEAR(photo.requestedScale * c.fullWidth, c.expected, 1e-6) << c.fullWidth;
    loader->free(&photo);
  }
  EXPECT_EQ(PicLoader::targetExtent(60000, 40000, 30000), 80000);  // 2.4e9 before dividing
  EXPECT_EQ(PicLoader::targetExtent(100000, 100000, 1), INT_MAX);
  EXPECT_EQ(PicLoader::targetExtent(4000, 100, 0), 400000);
}

// A lens photograph gets one scale for both axes, the larger the view asks
// for, in steps of 2^(1/8): views a little apart ask for the same size, never
// less than they need; from the last step below 1 on, the full size.
TEST_F(PicLoaderScale, LensPhotographsAskForScalesInSteps) {
  struct Case { double scale, steady; };
  for (const Case c : {Case{0.7, 0.7071067811865476}, Case{0.69, 0.7071067811865476},
                       Case{0.7071067811865476, 0.7071067811865476}, Case{0.71, 0.7711054127039704},
                       Case{0.8, 1.0}, Case{0.8408964152537145, 1.0}, Case{0.999, 1.0},
                       Case{1.0, 1.0}, Case{1.7, 1.7}, Case{0.0, 0.0}}) {
    EXPECT_NEAR(PicLoader::steadyScale(c.scale), c.steady, 1e-12) << c.scale;
  }
  Lens lens;
  lens.projection = Projection::Equirectangular;
  lens.width = 8000;
  lens.height = 4000;
  lens.hfovDegrees = 360.0;
  auto camera = std::make_shared<GeneralCamera>();
  std::string error;
  ASSERT_TRUE(makeGeneralCamera(lens, 0.0, 0.0, 0.0, PhotometricParams{}, 0.0, camera.get(), &error));
  Picture photo(1, 8000, 4000, 0.0, 0.0, 0.0, 1.5, 0.0, 0.0f, 1.0);
  photo.setGeneralCamera(camera);
  photo.keepCurrent = true;
  // The width asks for about 0.69 ... 0.7, the height for far less.
  for (int partnerWidth : {1000, 1010, 1020}) {
    Picture target(-1, 700, 480, 50.0, 35.0, 24.0, 1.5, 0.0, 0.0f, -1.0);
    addRecord(&target, &photo, 700, 1, partnerWidth, 1000);
    loader->loadNeededPictures(&target, false);
    EXPECT_NEAR(photo.requestedScale, std::exp2(-0.5), 1e-3) << partnerWidth;
    loader->free(&photo);
  }
}

TEST_F(PicLoaderScale, WithoutForceEveryLoadOnlyRecordsTheScale) {
  for (auto& photo : photos) addRecord(&view, photo.get(), 25, 15, 50, 30);
  loader->loadNeededPictures(&view, false);
  EXPECT_TRUE(logged("PicLoader::loadNeededPictures N=2"));
  for (auto& photo : photos) {
    EXPECT_TRUE(logged("PicLoader::load ID: " + std::to_string(photo->id) +
                       ", requested scale NOT done"));
    EXPECT_TRUE(photo->previewIsCurrent());
    EXPECT_EQ(photo->fileReads, 1);
    EXPECT_TRUE(photo->rescalePending);
    EXPECT_DOUBLE_EQ(photo->requestedScale, 0.5);
  }
  EXPECT_EQ(loader->loadedCount, 2);
  EXPECT_FALSE(loader->locked);
}

TEST_F(PicLoaderScale, ForcedLoadsScaleUpFromTheFileAndDownInMemory) {
  Picture* photo = photos[0].get();
  struct Step { int ownW, partW, width, reads; const char* line; };
  const Step steps[] = {
      {25, 50, 200, 2, "PicLoader::load ID: 0, requested scale done, scale: 0.500000|0.500000"},
      {3, 10, 120, 2, "PicLoader::load ID: 0, requested scale done, scale: 0.300000|0.300000"},
      // Too small for 0.75: the request drops it to the preview, and the
      // same refinement reads the file again instead of drawing the view
      // from the preview.
      {3, 4, 300, 3, "PicLoader::load ID: 0, requested scale done, scale: 0.750000|0.750000"}};
  for (const Step& s : steps) {
    Picture target(-1, 700, 480, 50.0, 35.0, 24.0, 1.5, 0.0, 0.0f, -1.0);
    addRecord(&target, photo, s.ownW, s.ownW, s.partW, s.partW);
    loader->loadNeededPictures(&target, true);
    EXPECT_EQ(messages().back(), s.line);
    if (s.reads == 3) {
      EXPECT_EQ(messages()[messages().size() - 2],
                "PicLoader::load ID: 0, requested scale done, scale: 0.250000|0.250000");
    }
    EXPECT_EQ(photo->image.cols, s.width);
    EXPECT_EQ(photo->image.rows, s.width * 3 / 4);
    EXPECT_EQ(photo->fileReads, s.reads);
    EXPECT_TRUE(photo->keepCurrent);
    EXPECT_EQ(loader->loaded[0]->image.data, photo->image.data);
  }
  EXPECT_EQ(photo->useCount, 1);
  EXPECT_EQ(loader->loadedCount, 1);
}

TEST_F(PicLoaderScale, BusyLoaderGivesUpWithItsLockedLine) {
  addRecord(&view, photos[0].get(), 25, 15, 50, 30);
  struct Case { void (*run)(PicLoader*, Picture*); const char* line; };
  const Case cases[] = {
      {[](PicLoader* l, Picture* v) { l->loadNeededPictures(v, true); },
       "PicLoader::loadNeededPictures LOCKED"},
      {[](PicLoader* l, Picture* v) { l->freeUnneded(v); }, "PicLoader::freeUnneded LOCKED"},
      {[](PicLoader* l, Picture* v) { l->loadNeighbours(v); }, "PicLoader::loadNeighbours LOCKED"}};
  for (const Case& c : cases) {
    loader->locked = true;  // another operation is running
    c.run(loader.get(), &view);
    EXPECT_EQ(messages().back(), c.line);
    EXPECT_TRUE(loader->locked);
  }
  EXPECT_EQ(loader->loadedCount, 0);
  EXPECT_FALSE(photos[0]->rescalePending);
  loader->locked = false;
  loader->loadNeededPictures(&view, true);
  EXPECT_EQ(loader->loadedCount, 1);
  EXPECT_FALSE(loader->locked);
}

TEST_F(PicLoaderScale, RecordsWithoutPointsOrWithForeignIdsAreSkipped) {
  Picture stranger(7, 400, 300, 50.0, 36.0, 24.0, 1.5, 0.0, 0.0f, 7.0);
  Picture otherView(-1, 700, 480, 50.0, 35.0, 24.0, 1.5, 0.0, 0.0f, -1.0);
  addRecord(&view, &stranger, 25, 15, 50, 30);
  addRecord(&view, &otherView, 25, 15, 50, 30);
  view.overlaps.push_back({{}, {}, 0, photos[0].get(), {}, {}, -1});
  view.overlaps.push_back({{1, 2}, {1, 2}, 4, nullptr, {}, {}, -1});
  loader->loadNeededPictures(&view, true);
  EXPECT_EQ(messages().back(), "PicLoader::loadNeededPictures N=4");
  EXPECT_EQ(loader->loadedCount, 0);
  EXPECT_EQ(photos[0]->fileReads, 1);
  EXPECT_FALSE(loader->locked);
}

}  // namespace
