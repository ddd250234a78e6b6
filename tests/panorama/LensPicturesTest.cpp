#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "base/Constants.h"
#include "camera/GeneralCamera.h"
#include "camera/LensMapping.h"
#include "panorama/LensPictures.h"
#include "panorama/Picture.h"

namespace {

// This viewer's altitude and azimuth (degrees) of a world direction.
void anglesOf(const Vec3& v, double* altitude, double* azimuth) {
  *altitude = radiansToDegrees(std::acos(std::fmax(-1.0, std::fmin(1.0, -v.y))));
  *azimuth = radiansToDegrees(std::atan2(v.x, v.z));
}

// The direction the centre of pixel (c, r) of picture 0 shows.
Vec3 pixelCentre(const LensPictures& made, double c, double r) {
  const GeneralCamera& camera = *made.pictures.at(0)->camera;
  Vec3 q;
  EXPECT_TRUE(pixelToDirection(camera.lens, c + 0.5, r + 0.5, &q));
  return cameraToWorld(camera.rotation, q);
}

Equirect360 sphere(int width, int height) {
  Equirect360 d;
  d.imageWidth = width;
  d.imageHeight = height;
  return d;
}

PtoImage image(int index, double eev) {
  PtoImage i;
  i.index = index;
  i.line = 10 + index;
  i.width = 400;
  i.height = 300;
  i.hfov = 50.0;
  i.eev = eev;
  i.path = "/photos/" + std::to_string(index) + ".jpg";
  return i;
}

}  // namespace

// Pixel centres of a 360-degree photograph show the directions its
// description gives them: azimuthLeft - (c + 0.5) (azimuthLeft -
// azimuthRight) / W, altitudeTop - (r + 0.5) (altitudeTop - altitudeBottom) / H,
// for the whole sphere and for a part of it.
TEST(LensPictures, Photo360PixelsShowTheirDescribedDirections) {
  Equirect360 part = sphere(1000, 400);
  part.wholeSphere = false;
  part.fromMetadata = true;
  part.azimuthLeft = 120.0;
  part.azimuthRight = -130.0;
  part.altitudeTop = 160.0;
  part.altitudeBottom = 60.0;
  for (const Equirect360& d : {sphere(2000, 1000), part}) {
    LensPictures made;
    std::string reason;
    ASSERT_TRUE(lensPicturesOf360(d, "/x/p.jpg", &made, &reason)) << reason;
    ASSERT_EQ(made.pictures.size(), 1u);
    EXPECT_EQ(made.files, std::vector<std::string>{"/x/p.jpg"});
    EXPECT_EQ(made.pictures[0]->id, 0);
    EXPECT_EQ(made.pictures[0]->camera->lens.wraps, d.wholeSphere);
    for (const auto& [c, r] : {std::pair{0, 0}, std::pair{d.imageWidth - 1, 7},
                               std::pair{d.imageWidth / 3, d.imageHeight - 1},
                               std::pair{d.imageWidth / 2, d.imageHeight / 2}}) {
      double altitude = 0.0;
      double azimuth = 0.0;
      anglesOf(pixelCentre(made, c, r), &altitude, &azimuth);
      const double wantedAzimuth =
          d.azimuthLeft - (c + 0.5) * (d.azimuthLeft - d.azimuthRight) / d.imageWidth;
      const double wantedAltitude =
          d.altitudeTop - (r + 0.5) * (d.altitudeTop - d.altitudeBottom) / d.imageHeight;
      EXPECT_NEAR(altitude, wantedAltitude, 1e-9) << c << "," << r;
      EXPECT_NEAR(std::remainder(azimuth - wantedAzimuth, 360.0), 0.0, 1e-9) << c << "," << r;
    }
  }
}

// The pose levels the photograph: a centre taken 10 degrees above the
// horizon looks 10 degrees up; the compass heading is not used.
TEST(LensPictures, Photo360PosePitchAndRollLevelIt) {
  Equirect360 posed = sphere(2000, 1000);
  posed.pitchDegrees = 10.0;
  posed.headingDegrees = 75.0;
  LensPictures made;
  std::string reason;
  ASSERT_TRUE(lensPicturesOf360(posed, "p.jpg", &made, &reason)) << reason;
  double altitude = 0.0;
  double azimuth = 0.0;
  anglesOf(pixelCentre(made, 999.5, 499.5), &altitude, &azimuth);
  EXPECT_NEAR(altitude, 100.0, 1e-9);
  EXPECT_NEAR(azimuth, 0.0, 1e-9);
}

// A project's photographs: IDs in file order, their files, brightness shown
// at the mean exposure (a photograph at that exposure is left as it is), a
// lens that makes no camera refused in German naming image and line.
TEST(LensPictures, ProjectPhotographsAndTheirBrightness) {
  PtoProject project;
  project.images = {image(0, 0.0), image(2, 1.0), image(3, 2.0)};
  LensPictures made;
  std::string reason;
  ASSERT_TRUE(lensPicturesOfProject(project, &made, &reason)) << reason;
  ASSERT_EQ(made.pictures.size(), 3u);
  EXPECT_EQ(made.files, (std::vector<std::string>{"/photos/0.jpg", "/photos/2.jpg", "/photos/3.jpg"}));
  for (int id = 0; id < 3; ++id) {
    EXPECT_EQ(made.pictures[id]->id, id);
    EXPECT_EQ(made.pictures[id]->fullWidth, 400);
    EXPECT_EQ(made.pictures[id]->previewSize, 100);  // 50 degrees: the least preview
  }
  EXPECT_TRUE(made.pictures[0]->camera->correctsBrightness);
  EXPECT_FALSE(made.pictures[1]->camera->correctsBrightness) << "at the mean exposure";
  EXPECT_TRUE(made.pictures[2]->camera->correctsBrightness);
  // Brighter for the higher exposure value, darker for the lower.
  EXPECT_GT(made.pictures[2]->camera->brightness.correct(1, 100, 10, 10), 100);
  EXPECT_LT(made.pictures[0]->camera->brightness.correct(1, 100, 10, 10), 100);

  project.images[1].a = 0.5;
  project.images[1].b = 0.3;
  project.images[1].c = 0.3;
  EXPECT_FALSE(lensPicturesOfProject(project, &made, &reason));
  EXPECT_EQ(reason, "Bild 2 (Zeile 12): Verzeichnung nimmt zur Bildmitte hin nicht zu");
}

// The preview's longer side: two pixels per degree, 100 to 1024, never more
// than the photograph.
TEST(LensPictures, PreviewSizeRule) {
  struct Case {
    double degrees;
    int pixels;
    int preview;
  };
  for (const Case& c : {Case{30.0, 3000, 100}, Case{60.0, 3000, 120}, Case{190.0, 3000, 380},
                        Case{360.0, 8000, 720}, Case{360.0, 500, 500}, Case{360.0, 60, 60},
                        Case{720.0, 8000, 1024}, Case{std::nan(""), 3000, 100}}) {
    EXPECT_EQ(Picture::lensPreviewSize(c.degrees, c.pixels), c.preview) << c.degrees << " " << c.pixels;
  }
}
