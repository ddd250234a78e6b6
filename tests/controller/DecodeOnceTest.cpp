#include <gtest/gtest.h>

#include <filesystem>

#include "ControllerTestSupport.h"
#include "panorama/PicManager.h"

using namespace controllertest;
namespace fs = std::filesystem;

namespace {

// The sample panorama copied into the test's directory, so that the preview
// cache has never seen its photographs.
class DecodeOnce : public ControllerFixture<> {
 protected:
  std::string copiedSample() {
    const fs::path from = fs::path(sample().description).parent_path();
    for (const fs::directory_entry& entry : fs::directory_iterator(from)) {
      if (entry.is_regular_file()) {
        fs::copy_file(entry.path(), dir.path() / entry.path().filename());
      }
    }
    return dir.file(fs::path(sample().description).filename().string());
  }

  // How often each of the photographs `c` has open was read from its file.
  static std::vector<int> readsOf(const PanController& c) {
    std::vector<int> reads;
    for (const auto& picture : c.panorama()->pictures) reads.push_back(picture->fileReads);
    return reads;
  }
  // The reads, and how many photographs hold more than their preview (the
  // first view's partners after a refinement).
  void counts(std::vector<int>* reads, int* enlarged) const {
    *reads = readsOf(*controller);
    *enlarged = 0;
    for (const auto& picture : controller->panorama()->pictures) {
      *enlarged += picture->previewIsCurrent() ? 0 : 1;
    }
  }
};

}  // namespace

// Opening (which refines the first view at once) reads every photograph's
// file once: the first view's photographs keep their decode from building
// the previews, at the size the view loads them at. A reopen reads no file
// at all: the previews and those images come from the cache, and the view
// is byte for byte the first open's.
TEST_F(DecodeOnce, OpenAndFirstRefinementReadEachFileOnce) {
  const std::string description = copiedSample();
  ASSERT_EQ(controller->openPanorama(description.c_str()), 0);
  ASSERT_TRUE(waitUntilSettled());
  std::vector<int> reads;
  int enlarged = 0;
  counts(&reads, &enlarged);
  ASSERT_FALSE(reads.empty());
  EXPECT_GT(enlarged, 0) << "the first view shows no photograph larger than its preview";
  for (std::size_t i = 0; i < reads.size(); ++i) EXPECT_EQ(reads[i], 1) << "photograph " << i;
  const cv::Mat opened = window.lastImage().clone();

  ASSERT_EQ(controller->openPanorama(description.c_str()), 0);
  ASSERT_TRUE(waitUntilSettled());
  int again = 0;
  counts(&reads, &again);
  for (std::size_t i = 0; i < reads.size(); ++i) EXPECT_EQ(reads[i], 0) << "photograph " << i;
  EXPECT_EQ(again, enlarged);
  EXPECT_TRUE(sameImage(window.lastImage(), opened));

  // Another window size needs other sizes: the photographs it shows are read.
  controller->canvasSizeChanged(240, 180);
  ASSERT_EQ(controller->openPanorama(description.c_str()), 0);
  ASSERT_TRUE(waitUntilSettled());
  counts(&reads, &again);
  int total = 0;
  for (int count : reads) total += count;
  EXPECT_GT(total, 0);
  EXPECT_EQ(total, again) << "only the photographs the view shows enlarged";
}

// While the camera rests after a quick view, the photographs its refinement
// will read are decoded ahead: that refinement then reads no file again and
// draws byte for byte the view of a refinement that had to read them itself.
// Closing while decoding ahead waits for it.
TEST_F(DecodeOnce, ARestingCamerasRefinementTakesWhatWasDecodedAhead) {
  const std::string description = copiedSample();
  ASSERT_EQ(controller->openPanorama(description.c_str()), 0);
  ASSERT_TRUE(waitUntilSettled());
  std::vector<int> opened;
  int enlarged = 0;
  counts(&opened, &enlarged);

  // Another controller refines the same quick view at once.
  RecordingGui otherWindow(160, 120);
  auto other = makeController(otherWindow);
  ASSERT_EQ(other->openPanorama(description.c_str()), 0);
  other->setCameraData(2.0, 1.2, 50.0);
  other->refine();
  const std::vector<int> otherReads = readsOf(*other);

  // The decoding ahead has begun once a file was read since the open.
  const auto readSince = [&](const std::vector<int>& before) {
    return readsOf(*controller) != before;
  };
  controller->setCameraData(2.0, 1.2, 50.0);
  ASSERT_TRUE(waitFor([&] { return readSince(opened); }));
  controller->refine();
  std::vector<int> reads;
  counts(&reads, &enlarged);
  int readAgain = 0;
  for (std::size_t i = 0; i < reads.size(); ++i) {
    EXPECT_LE(reads[i] - opened[i], 1) << "photograph " << i << " read twice";
    EXPECT_EQ(reads[i] - opened[i], otherReads[i]) << "photograph " << i;
    readAgain += reads[i] - opened[i];
  }
  EXPECT_GT(readAgain, 0);
  EXPECT_TRUE(sameImage(window.lastImage(), otherWindow.lastImage()));

  controller->setCameraData(0.5, 1.2, 30.0);
  ASSERT_TRUE(waitFor([&] { return readSince(reads); }));
  controller->close();
}
