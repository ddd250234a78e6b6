#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "JpegTestSupport.h"
#include "PtoTestSupport.h"

using ptotest::Photo;

namespace {

struct GoodProject {
  std::string name;
  std::string text;
  std::vector<Photo> photos;
  std::function<void(const TempDir&, const PtoProject&)> check;
};

// The options, image lines and masks a current stitcher writes: image 0 with
// its own lens, image 1 disabled, image 2 linked to image 0's lens.
const char* kHuginProject = R"(# hugin project file
#hugin_ptoversion 2
p f2 w3000 h1500 v360  k0 E0 R0 n"TIFF_m c:LZW r:CROP"
m i0

# image lines
#-hugin  cropFactor=1.5 autoCenterCrop=1
i w40 h30 f0 v50 Ra0 Rb0 Rc0 Rd0 Re0 Eev1.5 Er1.02 Eb0.98 r1 p-2 y3 TrX0 TrY0 TrZ0 Tpy0 Tpp0 j0 a0.01 b-0.02 c0.03 d1.5 e-2.5 g0 t0 Va1 Vb0.1 Vc-0.2 Vd0.05 Vx1 Vy-1 Vm5 S2,38,3,27 n"a.jpg"
#-hugin  cropFactor=1.5 disabled
i w40 h30 f0 v=0 Ra=0 Rb=0 Rc=0 Rd=0 Re=0 Eev0 Er1 Eb1 r0 p0 y40 a=0 b=0 c=0 d=0 e=0 g=0 t=0 Va=0 Vb=0 Vc=0 Vd=0 Vx=0 Vy=0 Vm5 n"b.jpg"
#-hugin  cropFactor=1.5
i w40 h30 f0 v=0 Ra=0 Rb=0 Rc=0 Rd=0 Re=0 Eev0.5 Er1 Eb1 r0 p10 y80 a=0 b=0 c=0 d=0 e=0 g=0 t=0 Va=0 Vb=0 Vc=0 Vd=0 Vx=0 Vy=0 Vm5 n"c.jpg"

# specify variables that should be optimized
v Ra0
v y1

# control points
c n0 N2 x1 y2 X3 Y4 t0

#masks
k i0 t0 p"1 1 10 1 10 10"
k i2 t1 p"0 0 5 0 5 5 0 5"
k i1 t0 p"1 1 2 2 3 1"
*
i garbage that is never read
)";

std::vector<GoodProject> goodProjects() {
  return {
      {"current stitcher project", kHuginProject, {{"a.jpg"}, {"c.jpg"}},
       [](const TempDir& dir, const PtoProject& p) {
         ASSERT_EQ(p.images.size(), 2u);
         EXPECT_EQ(p.disabledCount, 1);
         EXPECT_EQ(p.folder, dir.path().string());
         EXPECT_EQ(p.panoramaProjection, 2);
         EXPECT_EQ(p.panoramaWidth, 3000);
         EXPECT_EQ(p.panoramaHeight, 1500);
         EXPECT_EQ(p.panoramaHfov, 360.0);
         const PtoImage& a = p.images[0];
         EXPECT_EQ(a.index, 0);
         EXPECT_EQ(a.line, 8);
         EXPECT_EQ(a.width, 40);
         EXPECT_EQ(a.height, 30);
         EXPECT_EQ(a.hfov, 50.0);
         EXPECT_EQ(a.yaw, 3.0);
         EXPECT_EQ(a.pitch, -2.0);
         EXPECT_EQ(a.roll, 1.0);
         EXPECT_EQ(a.eev, 1.5);
         EXPECT_EQ(a.er, 1.02);
         EXPECT_EQ(a.eb, 0.98);
         EXPECT_TRUE(a.crop.present);
         EXPECT_EQ(a.crop.token, 'S');
         EXPECT_EQ(a.crop.left, 2);
         EXPECT_EQ(a.crop.right, 38);
         EXPECT_EQ(a.crop.top, 3);
         EXPECT_EQ(a.crop.bottom, 27);
         ASSERT_EQ(a.masks.size(), 1u);
         EXPECT_EQ(a.masks[0].type, 0);
         ASSERT_EQ(a.masks[0].points.size(), 3u);
         EXPECT_EQ(a.masks[0].points[1].x, 10.0);
         EXPECT_EQ(a.masks[0].points[1].y, 1.0);
         EXPECT_EQ(a.path, (dir.path() / "a.jpg").string());
         EXPECT_TRUE(a.sizeChecked);
         // Image 2 takes the lens of image 0, shifts and vignetting included.
         const PtoImage& c = p.images[1];
         EXPECT_EQ(c.index, 2);
         EXPECT_EQ(c.fileName, "c.jpg");
         EXPECT_EQ(c.hfov, 50.0);
         EXPECT_EQ(c.yaw, 80.0);
         EXPECT_EQ(c.pitch, 10.0);
         EXPECT_EQ(c.eev, 0.5);
         EXPECT_EQ(c.a, 0.01);
         EXPECT_EQ(c.b, -0.02);
         EXPECT_EQ(c.c, 0.03);
         EXPECT_EQ(c.d, 1.5);
         EXPECT_EQ(c.e, -2.5);
         EXPECT_EQ(c.vb, 0.1);
         EXPECT_EQ(c.vc, -0.2);
         EXPECT_EQ(c.vd, 0.05);
         EXPECT_EQ(c.vx, 1.0);
         EXPECT_EQ(c.vy, -1.0);
         EXPECT_EQ(c.vm, 5);
         EXPECT_FALSE(c.crop.present);
         ASSERT_EQ(c.masks.size(), 1u);
         EXPECT_EQ(c.masks[0].type, 1);
         EXPECT_EQ(c.masks[0].points.size(), 4u);
       }},
      {"older script: #-imgfile and o lines, Windows paths, CR LF",
       "# PTGui script\r\np w3000 h1500 f2 v360 n\"JPEG g20 q95\"\r\nm g1 i6\r\n"
       "#-imgfile 40 30 \"C:\\Users\\x\\Fotos\\IMG 1.jpg\"\r\no f0 y0 r0 p0 v70 a0 b0 c0 d0 e0 g0 t0\r\n"
       "#-imgfile 30 40 \"C:\\Users\\x\\Fotos\\IMG_2.jpg\"\r\no f0 y60 r90 p0 v=0 a=0 b=0 c=0 d=0 e=0 g0 t0\r\n",
       {{"IMG 1.jpg"}, {"IMG_2.jpg", 30, 40}},
       [](const TempDir& dir, const PtoProject& p) {
         ASSERT_EQ(p.images.size(), 2u);
         EXPECT_EQ(p.images[0].fileName, "C:\\Users\\x\\Fotos\\IMG 1.jpg");
         EXPECT_EQ(p.images[0].path, (dir.path() / "IMG 1.jpg").string());
         EXPECT_EQ(p.images[0].line, 5);
         EXPECT_EQ(p.images[1].width, 30);
         EXPECT_EQ(p.images[1].height, 40);
         EXPECT_EQ(p.images[1].hfov, 70.0);
         EXPECT_EQ(p.images[1].roll, 90.0);
         EXPECT_EQ(p.images[1].line, 7);
       }},
      {"o lines override i lines, #-imgfile overrides size and name",
       "#-imgfile 40 30 \"a.jpg\"\ni w1 h1 f0 v10 y5 n\"old.jpg\"\ni w40 h30 f0 v20 y6 n\"b.jpg\"\n"
       "o y7 v30\no y8 S0,0,0,0\n",
       {{"a.jpg"}, {"b.jpg"}},
       [](const TempDir&, const PtoProject& p) {
         ASSERT_EQ(p.images.size(), 2u);
         EXPECT_EQ(p.images[0].fileName, "a.jpg");
         EXPECT_EQ(p.images[0].width, 40);
         EXPECT_EQ(p.images[0].yaw, 7.0);
         EXPECT_EQ(p.images[0].hfov, 30.0);
         EXPECT_EQ(p.images[1].yaw, 8.0);
         EXPECT_EQ(p.images[1].hfov, 20.0);
         EXPECT_FALSE(p.images[1].crop.present);
       }},
      {"lone CR line ends, tabs, runs of spaces, exponents",
       "p f2 w100 h50 v360\r#-hugin\tcropFactor=1\ri\tw40  h30\t\tf0 v5.0e1 y-1.5E+1 p+2 Eev6.95316e-310 "
       "Er1e0 n\"a.jpg\"\r",
       {{"a.jpg"}},
       [](const TempDir&, const PtoProject& p) {
         ASSERT_EQ(p.images.size(), 1u);
         EXPECT_EQ(p.images[0].line, 3);
         EXPECT_EQ(p.images[0].hfov, 50.0);
         EXPECT_EQ(p.images[0].yaw, -15.0);
         EXPECT_EQ(p.images[0].pitch, 2.0);
         EXPECT_EQ(p.images[0].eev, 6.95316e-310);
       }},
      {"paths: absolute, foreign absolute, backslashes, parent folder",
       "", {{"elsewhere/abs.jpg"}, {"project/home.jpg"}, {"project/sub/d.jpg"}, {"up.jpg"}},
       [](const TempDir& dir, const PtoProject& p) {
         ASSERT_EQ(p.images.size(), 4u);
         EXPECT_EQ(p.images[0].path, (dir.path() / "elsewhere/abs.jpg").string());
         EXPECT_EQ(p.images[1].path, (dir.path() / "project/home.jpg").string());
         EXPECT_EQ(p.images[2].path, (dir.path() / "project/sub/d.jpg").string());
         EXPECT_EQ(p.images[3].path, (dir.path() / "project/../up.jpg").string());
       }},
      {"#-hugin lines that do not match the image count are ignored",
       "#-hugin disabled\ni w40 h30 n\"a.jpg\"\ni w40 h30 n\"b.jpg\"\n", {{"a.jpg"}, {"b.jpg"}},
       [](const TempDir&, const PtoProject& p) {
         EXPECT_EQ(p.images.size(), 2u);
         EXPECT_EQ(p.disabledCount, 0);
       }},
      {"a link on one member links the whole group",
       "i w40 h30 a0.1 b0.2 c0.3 d4 e5 n\"a.jpg\"\ni w40 h30 a=0 b0.9 c0.9 d9 e=0 n\"a.jpg\"\n", {{"a.jpg"}},
       [](const TempDir&, const PtoProject& p) {
         ASSERT_EQ(p.images.size(), 2u);
         EXPECT_EQ(p.images[1].b, 0.2);
         EXPECT_EQ(p.images[1].c, 0.3);
         EXPECT_EQ(p.images[1].d, 4.0);
         EXPECT_EQ(p.images[1].e, 5.0);
       }},
      {"defaults", "i w40 h30 n\"a.jpg\"", {{"a.jpg"}},
       [](const TempDir&, const PtoProject& p) {
         ASSERT_EQ(p.images.size(), 1u);
         const PtoImage& a = p.images[0];
         EXPECT_EQ(a.projection, kPtoRectilinear);
         EXPECT_EQ(a.hfov, 51.0);
         EXPECT_EQ(a.er, 1.0);
         EXPECT_EQ(a.eb, 1.0);
         EXPECT_EQ(a.va, 1.0);
         EXPECT_EQ(a.vm, 5);
         EXPECT_EQ(p.panoramaProjection, -1);
       }},
      {"crops: cut to the picture, kept beyond it for circular fisheyes",
       "i w40 h30 f0 C-5,20,10,50 n\"a.jpg\"\ni w40 h30 f2 v180 S-10,50,-15,45 n\"a.jpg\"\n", {{"a.jpg"}},
       [](const TempDir&, const PtoProject& p) {
         ASSERT_EQ(p.images.size(), 2u);
         const PtoCrop& cut = p.images[0].crop;
         EXPECT_EQ(cut.token, 'C');
         EXPECT_EQ(cut.left, 0);
         EXPECT_EQ(cut.right, 20);
         EXPECT_EQ(cut.top, 10);
         EXPECT_EQ(cut.bottom, 30);
         const PtoCrop& circle = p.images[1].crop;
         EXPECT_EQ(circle.left, -10);
         EXPECT_EQ(circle.right, 50);
         EXPECT_EQ(circle.top, -15);
         EXPECT_EQ(circle.bottom, 45);
       }},
      {"fisheyes beyond 180 degrees", "i w40 h30 f21 v200 n\"a.jpg\"\ni w40 h30 f3 v360 n\"a.jpg\"\n",
       {{"a.jpg"}},
       [](const TempDir&, const PtoProject& p) {
         ASSERT_EQ(p.images.size(), 2u);
         EXPECT_EQ(p.images[0].projection, kPtoEquisolidFisheye);
         EXPECT_EQ(p.images[1].hfov, 360.0);
       }},
      {"other file types are not looked into", "i w4000 h3000 n\"a.png\"", {{"a.png", 10, 10}},
       [](const TempDir&, const PtoProject& p) {
         ASSERT_EQ(p.images.size(), 1u);
         EXPECT_FALSE(p.images[0].sizeChecked);
         EXPECT_EQ(p.images[0].width, 4000);
       }},
  };
}

}  // namespace

TEST(PtoReader, ReadsGoodProjects) {
  for (GoodProject& c : goodProjects()) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::string subfolder;
    if (c.text.empty()) {
      // The paths case needs the temporary directory's name.
      subfolder = "project";
      c.text = "i w40 h30 n\"" + (dir.path() / "elsewhere/abs.jpg").string() + "\"\n" +
               "i w40 h30 n\"/home/someone/pictures/home.jpg\"\n" + "i w40 h30 n\"sub\\d.jpg\"\n" +
               "i w40 h30 n\"../up.jpg\"\n";
    }
    PtoReader reader;
    ASSERT_TRUE(ptotest::readProject(dir, c.text, c.photos, &reader, subfolder)) << reader.error();
    EXPECT_TRUE(reader.error().empty());
    c.check(dir, reader.project());
  }
}

TEST(PtoReader, RecordsTheExifOrientationOfPhotographs) {
  TempDir dir;
  jpegtest::writeBytes(dir.file("turned.jpg"),
                       jpegtest::afterStart(jpegtest::encoded(40, 30), jpegtest::exifSegment(6, false)));
  PtoReader reader;
  ASSERT_TRUE(ptotest::readProject(dir, "i w40 h30 r90 n\"turned.jpg\"", {}, &reader)) << reader.error();
  EXPECT_EQ(reader.project().images[0].exifOrientation, 6);
}

TEST(PtoReader, FindPhotographPrefersTheNameAsWritten) {
  TempDir dir;
  std::filesystem::create_directories(dir.file("sub"));
  jpegtest::writeBytes(dir.file("sub/x.jpg"), "1");
  jpegtest::writeBytes(dir.file("x.jpg"), "2");
  std::filesystem::create_directories(dir.file("dir.jpg"));
  const std::string folder = dir.path().string();
  EXPECT_EQ(findPhotograph(folder, "sub/x.jpg"), dir.file("sub/x.jpg"));
  EXPECT_EQ(findPhotograph(folder, "other/x.jpg"), dir.file("x.jpg"));
  EXPECT_EQ(findPhotograph(folder, "D:\\sub\\x.jpg"), dir.file("x.jpg"));
  EXPECT_EQ(findPhotograph(folder, "\\\\server\\share\\x.jpg"), dir.file("x.jpg"));
  EXPECT_EQ(findPhotograph(folder, "dir.jpg"), "");
  EXPECT_EQ(findPhotograph(folder, "sub/.."), "");
  EXPECT_EQ(findPhotograph(folder, ""), "");
}
