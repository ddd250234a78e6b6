#include <cmath>
#include <cstring>
#include <numbers>
#include <stdexcept>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "camera/CamData.h"
#include "geometry/APrioriOverlapper.h"
#include "geometry/GeometryHelpers.h"
#include "geometry/PhotoDrawing.h"
#include "geometry/Puzzler.h"
#include "support/TempDir.h"

namespace {

constexpr double kPi = std::numbers::pi;
// The default camera: 700 x 480 pixels on 35 x 24 mm at f = 50 mm, 1000 pixels.
constexpr double kViewFocalPixels = 1000.0;

// A profile name that is none of the Gaussians: every weight is 1.
const char* const kFlat = "gleich";

cv::Vec3b pixelAt(const Picture& view, int column, int row) {
  return view.image.at<cv::Vec3b>(row, column);
}

std::unique_ptr<Picture> viewFor(const CamData& camera) { return Picture::forCamera(camera); }

CamData cameraAt(double altitude, double azimuth) {
  CamData camera;
  camera.altitude = altitude;
  camera.azimuth = azimuth;
  return camera;
}

// Finds the overlaps of the panorama with the camera's view and assembles it.
std::unique_ptr<Picture> assemble(Puzzler& puzzler, PicManager& panorama, const CamData& camera) {
  auto view = viewFor(camera);
  APrioriOverlapper overlapper(&panorama);
  std::vector<Picture*> found;
  overlapper.getOverlappedPictures(view.get(), &found);
  puzzler.puzzleTogether(static_cast<int>(found.size()), camera.width, camera.height, view.get(),
                         camera.azimuth, camera.altitude, kViewFocalPixels);
  return view;
}

std::unique_ptr<PicManager> panoramaWith(std::unique_ptr<Picture> photo) {
  std::vector<std::unique_ptr<Picture>> pictures;
  pictures.push_back(std::move(photo));
  return panoramaOf(std::move(pictures));
}

// A uniformly coloured photograph of 200 x 120 pixels, 40 x 24 mm at f = 20 mm:
// wider and taller than the default view when it looks the same way.
std::unique_ptr<Picture> uniformPhoto(int id, cv::Scalar colour, double altitude = kPi / 2,
                                      double azimuth = 0.0) {
  return memoryPhoto(id, cv::Mat(120, 200, CV_8UC3, colour), 20.0, 0.2, altitude, azimuth);
}

TEST(PuzzlerTest, ViewPixelsSampleThePerspectivePosition) {
  TempDir dir;
  // 3000 x 2000 pixels at 1/128 mm with f = 15.625 mm: fp = 2000 pixels.
  cv::Mat image(2000, 3000, CV_8UC3, cv::Scalar(0, 0, 0));
  image.at<cv::Vec3b>(1000, 1500) = {200, 201, 202};
  image.at<cv::Vec3b>(1000, 1499) = {50, 50, 50};
  image.at<cv::Vec3b>(1000, 1501) = {60, 60, 60};
  image.at<cv::Vec3b>(999, 1500) = {70, 70, 70};
  image.at<cv::Vec3b>(1001, 1500) = {80, 80, 80};
  image.at<cv::Vec3b>(1000, 1700) = {120, 130, 140};
  image.at<cv::Vec3b>(1100, 1500) = {30, 20, 10};
  auto panorama = panoramaWith(memoryPhoto(0, image, 15.625, 1.0 / 128, kPi / 2, 0.0));
  Puzzler puzzler(kFlat, panorama.get());
  auto view = assemble(puzzler, *panorama, cameraAt(kPi / 2, 0.0));

  // Weight 1: (B + 0.0001) / 1.0001 truncates to B - 1.
  EXPECT_EQ(pixelAt(*view, 350, 240), cv::Vec3b(199, 200, 201));
  EXPECT_EQ(pixelAt(*view, 450, 240), cv::Vec3b(119, 129, 139));
  // Lower in the view is lower in the photograph.
  EXPECT_EQ(pixelAt(*view, 350, 290), cv::Vec3b(29, 19, 9));
  EXPECT_EQ(pixelAt(*view, 349, 240), cv::Vec3b(0, 0, 0));
}

TEST(PuzzlerTest, UncoveredPixelsKeepTheBackgroundAndEveryCoveredRowIsPainted) {
  TempDir dir;
  auto panorama = panoramaWith(uniformPhoto(0, cv::Scalar(100, 110, 120)));
  Puzzler puzzler(kFlat, panorama.get());

  // Nothing overlaps: every pixel is 1.
  auto empty = viewFor(cameraAt(kPi / 2, kPi));
  puzzler.puzzleTogether(0, 700, 480, empty.get(), kPi, kPi / 2, kViewFocalPixels);
  ASSERT_EQ(empty->image.size(), cv::Size(700, 480));
  EXPECT_EQ(cv::countNonZero(empty->image.reshape(1) != 1), 0);

  // Wholly covered: every pixel is painted, the bottom row and the rightmost
  // column included.
  auto view = assemble(puzzler, *panorama, cameraAt(kPi / 2, 0.0));
  for (int column : {0, 350, 699}) {
    for (int row : {0, 478, 479}) {
      EXPECT_EQ(pixelAt(*view, column, row), cv::Vec3b(99, 109, 119)) << column << "," << row;
    }
  }
  // A canvas of a single row is painted too.
  CamData oneRow = cameraAt(kPi / 2, 0.0);
  oneRow.height = 1;
  oneRow.sensorHeight = 0.05;  // keeps the 35 mm wide plane of fv = 1000
  oneRow.updateSensorWidth();
  auto line = assemble(puzzler, *panorama, oneRow);
  ASSERT_EQ(line->image.size(), cv::Size(700, 1));
  EXPECT_EQ(pixelAt(*line, 350, 0), cv::Vec3b(99, 109, 119));
  // The photograph is left as it was: unmarked, not held.
  Picture* photo = panorama->findById(0);
  EXPECT_FALSE(photo->inUse);
  EXPECT_EQ(photo->useCount, 0);
}

TEST(PuzzlerTest, RaysPointingAwayFromAPhotographNeverSampleIt) {
  TempDir dir;
  // 300 x 200 pixels of 0.1 mm at f = 10 mm: 112 degrees wide, looking back.
  auto panorama = panoramaWith(
      memoryPhoto(0, cv::Mat(200, 300, CV_8UC3, cv::Scalar(90, 90, 90)), 10.0, 0.1, kPi / 2, kPi));
  Puzzler puzzler(kFlat, panorama.get());
  Picture* photo = panorama->findById(0);

  // A record whose box spans the whole view, as a wide view's polygon can;
  // every ray of it points away from the photograph.
  auto view = viewFor(cameraAt(kPi / 2, 0.0));
  OverlapRecord record;
  record.count = 4;
  record.partner = photo;
  record.ownPoints = {0, 0, 699, 0, 699, 479, 0, 479};
  record.partnerPoints = {0, 0, 299, 0, 299, 199, 0, 199};
  view->overlaps.push_back(record);
  puzzler.puzzleTogether(1, 700, 480, view.get(), 0.0, kPi / 2, kViewFocalPixels);
  EXPECT_EQ(cv::countNonZero(view->image.reshape(1) != 1), 0);

  // Turned to face the photograph, the same record paints the view.
  auto facing = viewFor(cameraAt(kPi / 2, kPi));
  facing->overlaps.push_back(record);
  puzzler.puzzleTogether(1, 700, 480, facing.get(), kPi, kPi / 2, kViewFocalPixels);
  EXPECT_EQ(pixelAt(*facing, 350, 240), cv::Vec3b(89, 89, 89));
}

TEST(PuzzlerTest, EqualWeightsBlendToTheMeanAtCorrespondingWeightPositions) {
  TempDir dir;
  struct Case {
    const char* name;
    cv::Size image;
    cv::Size full;
    double pitch;  // at full size
    int low;
    int high;
  };
  // All planes are 20 x 12 mm at f = 20 mm, looking the same way as picture 0.
  // Equal weights give (100 w + 200 w + 0.0001) / (2 w + 0.0001), just below
  // 150. At half scale a sample's full-size position may lie one column or
  // row off picture 0's, which shifts the weights by a few per cent.
  const Case cases[] = {
      {"same size", {400, 240}, {400, 240}, 0.05, 149, 149},
      {"larger full size than picture 0", {800, 480}, {800, 480}, 0.025, 149, 149},
      {"reduced scale", {200, 120}, {400, 240}, 0.05, 148, 151},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::unique_ptr<Picture>> pictures;
    pictures.push_back(memoryPhoto(0, cv::Mat(240, 400, CV_8UC3, cv::Scalar(100, 100, 100)), 20.0,
                                   0.05, kPi / 2, 0));
    pictures.push_back(memoryPhoto(1, cv::Mat(c.image, CV_8UC3, cv::Scalar(200, 200, 200)), 20.0,
                                   c.pitch, kPi / 2, 0, c.full.width, c.full.height));
    auto panorama = panoramaOf(std::move(pictures));
    Puzzler puzzler("gaussStark", panorama.get());
    auto view = assemble(puzzler, *panorama, cameraAt(kPi / 2, 0.0));
    // The central half of the view, where the weights are well above 0.0001.
    cv::Mat centre = view->image(cv::Rect(175, 120, 350, 240)).clone().reshape(1);
    double low = 0.0;
    double high = 0.0;
    cv::minMaxLoc(centre, &low, &high);
    EXPECT_GE(low, c.low);
    EXPECT_LE(high, c.high);
  }
}

TEST(PuzzlerTest, ManyThreadsGiveTheSameImageAsOne) {
  TempDir dir;
  cv::RNG rng(7);
  std::vector<std::unique_ptr<Picture>> pictures;
  for (int id = 0; id < 3; ++id) {
    cv::Mat image(120, 200, CV_8UC3);
    rng.fill(image, cv::RNG::UNIFORM, 0, 256);
    pictures.push_back(memoryPhoto(id, image, 20.0, 0.2, kPi / 2 + 0.1 * (id - 1), 0.15 * id));
  }
  auto panorama = panoramaOf(std::move(pictures));
  Puzzler puzzler("gaussStark", panorama.get());
  const CamData camera = cameraAt(kPi / 2, 0.15);
  puzzler.maxThreads = 1;
  auto single = assemble(puzzler, *panorama, camera);
  puzzler.maxThreads = 4;
  auto several = assemble(puzzler, *panorama, camera);
  ASSERT_EQ(single->image.size(), several->image.size());
  EXPECT_EQ(std::memcmp(single->image.data, several->image.data, 700 * 480 * 3), 0);
  EXPECT_GT(cv::countNonZero(single->image.reshape(1) != 1), 300000);
}

TEST(PuzzlerTest, BusyOrChangedPhotographsAreSkippedOrAbandonTheView) {
  TempDir dir;
  std::vector<std::unique_ptr<Picture>> pictures;
  pictures.push_back(uniformPhoto(0, cv::Scalar(100, 100, 100)));
  pictures.push_back(uniformPhoto(1, cv::Scalar(200, 200, 200)));
  auto panorama = panoramaOf(std::move(pictures));
  Puzzler puzzler(kFlat, panorama.get());
  Picture* first = panorama->findById(0);
  Picture* second = panorama->findById(1);

  // Another assembly draws picture 0: only picture 1 contributes.
  const int otherAssembly = 0;
  ASSERT_TRUE(first->tryLock(&otherAssembly));
  auto view = assemble(puzzler, *panorama, cameraAt(kPi / 2, 0.0));
  EXPECT_EQ(pixelAt(*view, 350, 240), cv::Vec3b(199, 199, 199));
  EXPECT_EQ(first->inUseBy.load(), &otherAssembly);
  EXPECT_TRUE(first->unlock(&otherAssembly));

  // Picture 0's size no longer matches its image: the view is not written
  // (what its image held stays, for the caller to clear), picture 1 is not
  // drawn, and picture 0 is unmarked and released.
  first->width += 1;
  auto abandoned = Picture::forCamera(cameraAt(kPi / 2, 0.0),
                                      cv::Mat(480, 700, CV_8UC3, cv::Scalar::all(7)), false);
  APrioriOverlapper overlapper(panorama.get());
  std::vector<Picture*> found;
  overlapper.getOverlappedPictures(abandoned.get(), &found);
  EXPECT_FALSE(puzzler.puzzleTogether(static_cast<int>(found.size()), 700, 480, abandoned.get(),
                                      0.0, kPi / 2, kViewFocalPixels));
  EXPECT_EQ(cv::countNonZero(abandoned->image.reshape(1) != 7), 0);
  EXPECT_FALSE(first->inUse);
  EXPECT_EQ(first->useCount, 0);
  EXPECT_FALSE(second->inUse);
  EXPECT_EQ(second->useCount, 0);
}

TEST(PuzzlerTest, MismatchedArgumentsNeverReachOutsideTheImages) {
  TempDir dir;
  auto panorama = panoramaWith(uniformPhoto(0, cv::Scalar(100, 100, 100)));
  Puzzler puzzler(kFlat, panorama.get());
  auto view = viewFor(cameraAt(kPi / 2, 0.0));
  APrioriOverlapper overlapper(panorama.get());
  std::vector<Picture*> found;
  overlapper.getOverlappedPictures(view.get(), &found);
  // A larger size than the view picture's image is refused; a count beyond
  // the overlap list uses the list.
  EXPECT_FALSE(puzzler.puzzleTogether(1, 800, 600, view.get(), 0.0, kPi / 2, kViewFocalPixels));
  EXPECT_EQ(cv::countNonZero(view->image.reshape(1)), 0);
  EXPECT_TRUE(puzzler.puzzleTogether(5, 700, 480, view.get(), 0.0, kPi / 2, kViewFocalPixels));
  EXPECT_EQ(pixelAt(*view, 350, 240), cv::Vec3b(99, 99, 99));
}

TEST(PuzzlerTest, WeightMapFollowsTheProfilesClosedForm) {
  TempDir dir;
  struct Profile {
    const char* name;
    double cornerWeight;
  };
  const Profile profiles[] = {{"gaussSchwach", 0.1}, {"gaussMittel", 0.001}, {"gaussStark", 1e-7}};
  // Even and odd sizes: an odd size's last column and row continue the profile.
  const cv::Size sizes[] = {{200, 120}, {201, 121}};
  for (const cv::Size& size : sizes) {
    auto panorama =
        panoramaWith(describedPhoto(0, size.width, size.height, 20.0, 36.0, 24.0, 0.1, 1.0, 0.0));
    for (const Profile& profile : profiles) {
      SCOPED_TRACE(profile.name);
      Puzzler puzzler(profile.name, panorama.get());
      ASSERT_EQ(puzzler.w0, size.width);
      ASSERT_EQ(puzzler.h0, size.height);
      const int hw = size.width / 2;
      const int hh = size.height / 2;
      const double cornerSquared = hw * hw + hh * hh;
      for (int row = 0; row < size.height; row += 7) {
        for (int column : {0, 13, hw - 1, hw, hw + 31, size.width - 1}) {
          const double x = column - hw;
          const double y = row - hh;
          const double expected = std::pow(profile.cornerWeight, (x * x + y * y) / cornerSquared);
          EXPECT_NEAR(puzzler.weightAt(column, row), expected, 1e-5 * expected + 1e-12);
        }
      }
      EXPECT_EQ(puzzler.weightAt(hw, hh), 1.0f);
      // A quarter of the map is stored; the rest is its exact mirror image.
      EXPECT_EQ(puzzler.weightMap.size(), static_cast<std::size_t>(hw + 1) * (hh + 1));
      EXPECT_EQ(puzzler.weightAt(hw + 5, hh + 3), puzzler.weightAt(hw - 5, hh - 3));
      const float last = puzzler.weightAt(size.width - 1, size.height - 1);
      EXPECT_TRUE(std::isfinite(last));
      EXPECT_GT(last, 0.0f);
    }
  }
  auto panorama = panoramaWith(describedPhoto(0, 50, 30, 20.0, 36.0, 24.0, 0.1, 1.0, 0.0));
  Puzzler flat("gaussstark", panorama.get());
  for (float weight : flat.weightMap) {
    ASSERT_EQ(weight, 1.0f);
  }
}

TEST(PuzzlerTest, OpeningWritesTheWeightImage) {
  TempDir dir;
  auto panorama = panoramaWith(describedPhoto(0, 300, 200, 20.0, 36.0, 24.0, 0.1, 1.0, 0.0));
  Puzzler puzzler("gaussStark", panorama.get());
  cv::Mat lut = cv::imread(dir.file("LUT.jpg"), cv::IMREAD_GRAYSCALE);
  ASSERT_EQ(lut.size(), cv::Size(300, 200));
  EXPECT_GE(lut.at<unsigned char>(100, 150), 250);
  for (cv::Point corner : {cv::Point(0, 0), cv::Point(299, 0), cv::Point(0, 199), cv::Point(299, 199)}) {
    EXPECT_LE(lut.at<unsigned char>(corner), 5) << corner;
  }
  // The next panorama replaces it.
  auto other = panoramaWith(describedPhoto(0, 64, 48, 20.0, 36.0, 24.0, 0.1, 1.0, 0.0));
  Puzzler next("gaussStark", other.get());
  EXPECT_EQ(cv::imread(dir.file("LUT.jpg"), cv::IMREAD_GRAYSCALE).size(), cv::Size(64, 48));
}

TEST(PuzzlerTest, PanoramaWithoutPictureZeroIsRefused) {
  TempDir dir;
  auto panorama = panoramaWith(describedPhoto(1, 300, 200, 20.0, 36.0, 24.0, 0.1, 1.0, 0.0));
  EXPECT_THROW(Puzzler("gaussStark", panorama.get()), std::invalid_argument);
  auto empty = panoramaOf({});
  EXPECT_THROW(Puzzler("gaussStark", empty.get()), std::invalid_argument);
  EXPECT_THROW(Puzzler("gaussStark", nullptr), std::invalid_argument);
  EXPECT_FALSE(std::filesystem::exists(dir.file("LUT.jpg")));
}

}  // namespace

// The vector lanes must give the very bytes of the one-pixel code: view
// widths with every remainder of four and eight (a job's last lanes), boxes
// that start at odd columns, small photographs (read through their own
// weight tables), one scaled down, a large one of the weight map's size (its
// map index folded in the lanes) and a large one of another size (read
// through the map's axis tables).
TEST(PuzzlerTest, VectorLanesGiveTheOnePixelCodesViews) {
  TempDir dir;
  cv::RNG rng(11);
  std::vector<std::unique_ptr<Picture>> pictures;
  const cv::Size sizes[4] = {{640, 480}, {200, 120}, {150, 90}, {700, 520}};
  for (int id = 0; id < 4; ++id) {
    cv::Mat image(sizes[id], CV_8UC3);
    rng.fill(image, cv::RNG::UNIFORM, 0, 256);
    const double pitch = 40.0 / sizes[id].width;
    // The third photograph is a third of its full size.
    pictures.push_back(memoryPhoto(id, image, 20.0, pitch, kPi / 2 + 0.07 * (id - 1),
                                   0.11 * id - 0.15, id == 2 ? 450 : 0, id == 2 ? 270 : 0));
  }
  auto panorama = panoramaOf(std::move(pictures));
  Puzzler puzzler("gaussMittel", panorama.get());
  {
    // Every photograph is in the view: each way of reading weights is drawn.
    CamData camera = cameraAt(kPi / 2 + 0.02, 0.1);
    camera.width = 97;
    camera.height = 61;
    auto view = viewFor(camera);
    APrioriOverlapper overlapper(panorama.get());
    std::vector<Picture*> found;
    overlapper.getOverlappedPictures(view.get(), &found);
    ASSERT_EQ(found.size(), 4u);
  }
  for (const int width : {97, 98, 99, 100, 101, 102, 103, 104, 333}) {
    CamData camera = cameraAt(kPi / 2 + 0.02, 0.1);
    camera.width = width;
    camera.height = 61;
    setVectorLanes(1);
    auto scalar = assemble(puzzler, *panorama, camera);
    for (const int widest : {4, 8}) {
      setVectorLanes(widest);
      auto lanes = assemble(puzzler, *panorama, camera);
      ASSERT_EQ(scalar->image.size(), lanes->image.size());
      EXPECT_EQ(cv::norm(scalar->image, lanes->image, cv::NORM_INF), 0.0)
          << "width " << width << ", " << vectorLanesInUse() << " lanes";
    }
    EXPECT_GT(cv::countNonZero(scalar->image.reshape(1) != 1), width * 61) << "width " << width;
  }
}

// Finishing cells four at a time saturates and truncates like one at a time,
// for every count's remainder and for sums far outside 0 ... 255.
TEST(PuzzlerTest, FinishingCellsInLanesMatchesOneAtATime) {
  cv::RNG rng(5);
  std::vector<float> cells(4 * 11);
  for (std::size_t i = 0; i < cells.size(); ++i) {
    cells[i] = i % 4 == 3 ? rng.uniform(1e-4f, 3.0f) : rng.uniform(-50.0f, 900.0f);
  }
  cells[0] = 1e30f;  // an overflowing quotient saturates like any other
  for (const float rounding : {0.0f, 0.5f}) {
    for (int count = 0; count <= 11; ++count) {
      std::vector<std::uint8_t> scalar(3 * 11 + 1, 7);
      setVectorLanes(1);
      finishPixels(cells.data(), count, rounding, scalar.data());
      for (const int widest : {4, 8}) {
        std::vector<std::uint8_t> lanes(3 * 11 + 1, 7);
        setVectorLanes(widest);
        finishPixels(cells.data(), count, rounding, lanes.data());
        EXPECT_EQ(scalar, lanes) << "count " << count << " rounding " << rounding << ", "
                                 << vectorLanesInUse() << " lanes";
      }
    }
  }
}
