#include <algorithm>
#include <climits>
#include <random>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "GeometryHelpers.h"
#include "base/Constants.h"
#include "camera/CamData.h"
#include "camera/LensMapping.h"
#include "camera/PhotoCamera.h"
#include "geometry/APrioriOverlapper.h"
#include "panorama/PicLoader.h"
#include "support/LensMaking.h"

namespace {

CamData viewCamera(double altitudeDegrees, double azimuthDegrees, double f, int width = 320,
                   int height = 240) {
  CamData camera;
  camera.altitude = degreesToRadians(altitudeDegrees);
  camera.azimuth = degreesToRadians(azimuthDegrees);
  camera.f = f;
  camera.width = width;
  camera.height = height;
  camera.updateSensorWidth();
  return camera;
}

struct Box {
  int c0 = INT_MAX;
  int c1 = INT_MIN;
  int r0 = INT_MAX;
  int r1 = INT_MIN;
  bool empty() const { return c0 > c1; }
  void add(int c, int r) {
    c0 = std::min(c0, c);
    c1 = std::max(c1, c);
    r0 = std::min(r0, r);
    r1 = std::max(r1, r);
  }
};

Box boxOf(const std::vector<int>& points) {
  Box box;
  for (std::size_t i = 0; i + 1 < points.size(); i += 2) box.add(points[i], points[i + 1]);
  return box;
}

// The view pixels that the photograph sees, as the assembly draws them: view
// pixel (x, y) looks along (x - w/2) right + (y - h/2) down + fv forward.
Box seenPixels(const Picture& view, const CamData& camera, const Picture& photo) {
  const CameraAxes axes = cameraAxes(camera.altitude, camera.azimuth);
  const double fv = view.lengthToPixels(camera.f);
  const GeneralCamera& general = *photo.camera;
  Box box;
  for (int y = 0; y < camera.height; ++y) {
    for (int x = 0; x < camera.width; ++x) {
      const Vec3 ray = (x - camera.width / 2.0) * axes.right + (y - camera.height / 2.0) * axes.down +
                       fv * axes.forward;
      double column = 0.0;
      double row = 0.0;
      if (directionToPixel(general.lens, worldToCamera(general.rotation, ray), &column, &row)) {
        box.add(x, y);
      }
    }
  }
  return box;
}

struct Case {
  const char* what;
  Lens lens;
  double yaw, pitch, roll;
  CamData camera;
};

std::vector<Case> cases() {
  Lens distorted = makeLens(Projection::Rectilinear, 3000, 2000, 60.0);
  distorted.b = -0.05;
  distorted.d = 40.0;
  Lens circle = makeLens(Projection::CircularFisheye, 1600, 1200, 185.0);
  Lens cropped = makeLens(Projection::Equirectangular, 2000, 600, 180.0);
  cropped.e = 150.0;
  Lens masked = makeLens(Projection::FullFrameFisheye, 1200, 800, 150.0);
  masked.masks.push_back({0, {{0, 0}, {600, 0}, {600, 800}, {0, 800}}});
  return {
      {"rolled rectilinear photograph at the view's left edge", distorted, -20.0, 5.0, 33.0,
       viewCamera(90.0, 25.0, 50.0)},
      {"rectilinear photograph wholly inside a wide view", makeLens(Projection::Rectilinear, 600, 400, 20.0),
       10.0, -5.0, -70.0, viewCamera(85.0, -8.0, 12.0)},
      {"fisheye circle's rim across the view", circle, 90.0, 0.0, 0.0,
       viewCamera(90.0, -175.0, 35.0)},
      {"cropped equirectangular photograph's corner", cropped, 0.0, 0.0, 0.0,
       viewCamera(120.0, 95.0, 40.0)},
      {"half a fisheye hidden by a mask", masked, 0.0, 30.0, 0.0, viewCamera(100.0, 10.0, 30.0)},
      {"360-degree photograph at the pole", makeLens(Projection::Equirectangular, 4000, 2000, 360.0),
       0.0, 0.0, 0.0, viewCamera(178.0, 40.0, 20.0)},
      {"photograph behind the view", makeLens(Projection::Rectilinear, 600, 400, 50.0), 180.0,
       0.0, 0.0, viewCamera(90.0, 0.0, 50.0)},
  };
}

}  // namespace

// The view's record holds every view pixel a lens photograph sees (the
// assembly draws no pixel outside it), and not much more: one and a half grid
// steps (of 48 across the view) of padding at most around what it would see
// without its masks (which only the per-pixel test looks at).
TEST(SampledOverlap, ViewBoxHoldsEveryPixelThePhotographSees) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.what);
    auto view = Picture::forCamera(c.camera);
    auto photo = lensPhoto(0, c.lens, c.yaw, c.pitch, c.roll);
    APrioriOverlapper overlapper;
    const int result = overlapper.overlapPair(photo.get(), view.get());
    const Box seen = seenPixels(*view, c.camera, *photo);
    if (seen.empty()) {
      EXPECT_LT(result, 0);
      EXPECT_TRUE(view->overlaps.empty());
      continue;
    }
    ASSERT_EQ(result, 0);
    ASSERT_EQ(view->overlaps.size(), 1u);
    const OverlapRecord& record = view->overlaps[0];
    EXPECT_EQ(record.partner, photo.get());
    EXPECT_EQ(record.count, 4);
    const Box box = boxOf(record.ownPoints);
    EXPECT_LE(box.c0, seen.c0);
    EXPECT_GE(box.c1, seen.c1);
    EXPECT_LE(box.r0, seen.r0);
    EXPECT_GE(box.r1, seen.r1);
    Lens unmasked = c.lens;
    unmasked.masks.clear();
    const Box reach = seenPixels(*view, c.camera, *lensPhoto(1, unmasked, c.yaw, c.pitch, c.roll));
    const int slackColumns = 3 * c.camera.width / 96 + 3;
    const int slackRows = 3 * c.camera.height / 96 + 3;
    EXPECT_GE(box.c0, reach.c0 - slackColumns);
    EXPECT_LE(box.c1, reach.c1 + slackColumns);
    EXPECT_GE(box.r0, reach.r0 - slackRows);
    EXPECT_LE(box.r1, reach.r1 + slackRows);
    EXPECT_GE(box.c0, 0);
    EXPECT_LT(box.c1, c.camera.width);
  }
}

// The same for many random lenses, orientations and views.
TEST(SampledOverlap, ViewBoxHoldsEveryPixelForRandomCameras) {
  std::mt19937 random(2024);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const Projection projections[] = {Projection::Rectilinear, Projection::CircularFisheye,
                                    Projection::Equirectangular, Projection::Stereographic,
                                    Projection::FullFrameFisheye, Projection::Cylindrical};
  int overlapping = 0;
  for (int k = 0; k < 80; ++k) {
    const Projection projection = projections[k % 6];
    const bool wide = projection != Projection::Rectilinear;
    Lens lens = makeLens(projection, 600 + 10 * (k % 7), 400 + 10 * (k % 5),
                         wide ? 100.0 + 150.0 * unit(random) : 30.0 + 90.0 * unit(random));
    lens.b = 0.06 * (unit(random) - 0.5);
    lens.d = 30.0 * (unit(random) - 0.5);
    lens.e = 30.0 * (unit(random) - 0.5);
    const CamData camera = viewCamera(180.0 * unit(random), 360.0 * unit(random),
                                      15.0 + 65.0 * unit(random), 160, 120);
    auto view = Picture::forCamera(camera);
    auto photo = lensPhoto(0, lens, 360.0 * unit(random), 180.0 * unit(random) - 90.0,
                           360.0 * unit(random));
    APrioriOverlapper overlapper;
    const int result = overlapper.overlapPair(photo.get(), view.get());
    const Box seen = seenPixels(*view, camera, *photo);
    SCOPED_TRACE(k);
    if (seen.empty()) {
      continue;
    }
    ++overlapping;
    ASSERT_EQ(result, 0);
    const Box box = boxOf(view->overlaps[0].ownPoints);
    EXPECT_LE(box.c0, seen.c0);
    EXPECT_GE(box.c1, seen.c1);
    EXPECT_LE(box.r0, seen.r0);
    EXPECT_GE(box.r1, seen.r1);
  }
  EXPECT_GT(overlapping, 20);
}

// The partner's box spans the photograph's full-size pixels that the view
// sees, so the loader's ratio of the two boxes asks for the scale at which a
// photograph pixel is about a view pixel, also across a 360-degree
// photograph's seam, where the seen columns lie at both of its edges.
TEST(SampledOverlap, BoxesAskTheLoaderForTheScaleTheViewNeeds) {
  const Lens sphere = makeLens(Projection::Equirectangular, 8000, 4000, 360.0);
  const double photoPerRadian = 8000 / kTwoPi;
  for (double azimuth : {0.0, 179.0, 180.0, -90.0}) {
    SCOPED_TRACE(azimuth);
    const CamData camera = viewCamera(90.0, azimuth, 50.0, 700, 480);
    auto view = Picture::forCamera(camera);
    auto photo = lensPhoto(0, sphere, 0.0, 0.0, 0.0);
    APrioriOverlapper overlapper;
    ASSERT_EQ(overlapper.overlapPair(photo.get(), view.get()), 0);
    const OverlapRecord& record = view->overlaps[0];
    const Box own = boxOf(record.ownPoints);
    const Box partner = boxOf(record.partnerPoints);
    EXPECT_EQ(own.c0, 0);
    EXPECT_EQ(own.c1, 699);
    const int target = PicLoader::targetExtent(8000, own.c1 - own.c0 + 1, partner.c1 - partner.c0 + 1);
    // Near the view's centre a view pixel spans 1 / fv radians.
    const double fv = view->lengthToPixels(camera.f);
    const double wanted = 8000.0 * fv / photoPerRadian / 8000.0;
    EXPECT_NEAR(double(target) / 8000.0, wanted, 0.25 * wanted);
    EXPECT_LT(partner.c1 - partner.c0, 8000 / 2);
  }
}

// Pairs of lens photographs: the cone test keeps photographs far apart out of
// each other's lists, neighbours get mirrored records in both.
TEST(SampledOverlap, PhotographPairsAreFoundBothWays) {
  std::vector<std::unique_ptr<Picture>> photos;
  const Lens lens = makeLens(Projection::Rectilinear, 900, 600, 60.0);
  photos.push_back(lensPhoto(0, lens, 0.0, 0.0, 0.0));
  photos.push_back(lensPhoto(1, lens, 55.0, 0.0, 0.0));     // overlaps 0
  photos.push_back(lensPhoto(2, lens, 180.0, 0.0, 0.0));    // behind both
  photos.push_back(lensPhoto(3, makeLens(Projection::CircularFisheye, 800, 800, 200.0), 180.0,
                             0.0, 0.0));  // sees 1 (from yaw 80 on) and 2, not 0
  auto panorama = panoramaOf(std::move(photos));
  APrioriOverlapper overlapper(panorama.get());
  overlapper.calculateOverlap();
  auto partners = [&](int id) {
    std::vector<int> ids;
    for (const OverlapRecord& record : panorama->findById(id)->overlaps) ids.push_back(record.partner->id);
    std::sort(ids.begin(), ids.end());
    return ids;
  };
  EXPECT_EQ(partners(0), (std::vector<int>{1}));
  EXPECT_EQ(partners(1), (std::vector<int>{0, 3}));
  EXPECT_EQ(partners(2), (std::vector<int>{3}));
  EXPECT_EQ(partners(3), (std::vector<int>{1, 2}));
}
