#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "JpegTestSupport.h"
#include "panorama/Equirect360.h"
#include "support/TempDir.h"

using namespace jpegtest;

namespace {

JpegHeader header(int width, int height, const std::string& xmp = "") {
  JpegHeader made;
  made.width = width;
  made.height = height;
  made.components = 3;
  made.xmp = xmp;
  return made;
}

// GPano attributes of a photograph `cw` x `ch` placed at (left, top) in a
// full panorama `fw` x `fh`.
std::string placement(int cw, int ch, int fw, int fh, int left, int top) {
  return "GPano:ProjectionType=\"equirectangular\" GPano:CroppedAreaImageWidthPixels=\"" + std::to_string(cw) +
         "\" GPano:CroppedAreaImageHeightPixels=\"" + std::to_string(ch) + "\" GPano:FullPanoWidthPixels=\"" +
         std::to_string(fw) + "\" GPano:FullPanoHeightPixels=\"" + std::to_string(fh) +
         "\" GPano:CroppedAreaLeftPixels=\"" + std::to_string(left) + "\" GPano:CroppedAreaTopPixels=\"" +
         std::to_string(top) + "\"";
}

struct Accepted {
  std::string name;
  JpegHeader header;
  // Expected edges (degrees), scale, full size and placement in photograph pixels.
  double azimuthLeft, azimuthRight, altitudeTop, altitudeBottom;
  double scale;
  int fullWidth, fullHeight, cropLeft, cropTop;
  bool fromMetadata, wholeSphere;
};

struct Refused {
  std::string name;
  JpegHeader header;
  std::string reason;  // a fragment of the German reason
};

}  // namespace

TEST(Equirect360, PlacesThePhotographOnTheSphere) {
  const std::string elements =
      "<rdf:Description xmlns:pano='http://ns.google.com/photos/1.0/panorama/'>"
      "<pano:ProjectionType> equirectangular </pano:ProjectionType>"
      "<pano:FullPanoWidthPixels>4000</pano:FullPanoWidthPixels>"
      "<pano:FullPanoHeightPixels>2000</pano:FullPanoHeightPixels>"
      "<pano:CroppedAreaImageWidthPixels>1000</pano:CroppedAreaImageWidthPixels>"
      "<pano:CroppedAreaImageHeightPixels>1000</pano:CroppedAreaImageHeightPixels>"
      "<pano:CroppedAreaLeftPixels>1500</pano:CroppedAreaLeftPixels>"
      "<pano:CroppedAreaTopPixels>500</pano:CroppedAreaTopPixels></rdf:Description>";
  const std::vector<Accepted> cases = {
      {"plain 2:1 photograph", header(4000, 2000), 180, -180, 180, 0, 1, 4000, 2000, 0, 0, false, true},
      {"2:1 within a pixel", header(2001, 1000), 180, -180, 180, 0, 1, 2001, 1000, 0, 0, false, true},
      {"metadata for the whole sphere", header(4000, 2000, gpanoPacket(placement(4000, 2000, 4000, 2000, 0, 0))),
       180, -180, 180, 0, 1, 4000, 2000, 0, 0, true, true},
      {"a band around the horizon", header(4000, 1000, gpanoPacket(placement(4000, 1000, 4000, 2000, 0, 500))),
       180, -180, 135, 45, 1, 4000, 2000, 0, 500, true, false},
      {"a window straight ahead, elements under another prefix", header(1000, 1000, elements), 45, -45, 135, 45, 1,
       4000, 2000, 1500, 500, true, false},
      {"resized after the metadata was written",
       header(2000, 500, gpanoPacket(placement(4000, 1000, 4000, 2000, 0, 500))), 180, -180, 135, 45, 0.5, 2000,
       1000, 0, 250, true, false},
      {"single-quoted attributes",
       header(4000, 1000,
              gpanoPacket("GPano:ProjectionType='equirectangular' GPano:FullPanoWidthPixels='4000' "
                          "GPano:FullPanoHeightPixels='2000' GPano:CroppedAreaTopPixels='1000'")),
       180, -180, 90, 0, 1, 4000, 2000, 0, 1000, true, false},
      {"metadata in another namespace is not GPano",
       header(4000, 2000, gpanoPacket(placement(400, 200, 800, 400, 0, 0), "GPano", "http://example.org/other/")),
       180, -180, 180, 0, 1, 4000, 2000, 0, 0, false, true},
  };
  for (const Accepted& c : cases) {
    SCOPED_TRACE(c.name);
    Equirect360 got;
    std::string reason;
    ASSERT_TRUE(describeEquirect360(c.header, &got, &reason)) << reason;
    EXPECT_EQ(got.imageWidth, c.header.width);
    EXPECT_EQ(got.imageHeight, c.header.height);
    EXPECT_NEAR(got.azimuthLeft, c.azimuthLeft, 1e-9);
    EXPECT_NEAR(got.azimuthRight, c.azimuthRight, 1e-9);
    EXPECT_NEAR(got.altitudeTop, c.altitudeTop, 1e-9);
    EXPECT_NEAR(got.altitudeBottom, c.altitudeBottom, 1e-9);
    EXPECT_DOUBLE_EQ(got.scale, c.scale);
    EXPECT_EQ(got.fullWidth, c.fullWidth);
    EXPECT_EQ(got.fullHeight, c.fullHeight);
    EXPECT_EQ(got.cropLeft, c.cropLeft);
    EXPECT_EQ(got.cropTop, c.cropTop);
    EXPECT_EQ(got.fromMetadata, c.fromMetadata);
    EXPECT_EQ(got.wholeSphere, c.wholeSphere);
  }
}

TEST(Equirect360, RefusesWhatIsNoUsable360Photograph) {
  const std::vector<Refused> cases = {
      {"4:3 without metadata", header(4000, 3000), "Seitenverhältnis 4:3 ist kein 360°-Foto (2:1)"},
      {"square without metadata", header(500, 500), "Seitenverhältnis 1:1"},
      {"over 200 megapixels", header(20001, 10001), "Foto zu groß: 20001 × 10001 Pixel"},
      {"another projection", header(4000, 2000, gpanoPacket("GPano:ProjectionType=\"cylindrical\"")),
       "Projektion \"cylindrical\" wird nicht unterstützt"},
      {"placement without a projection",
       header(4000, 1000, gpanoPacket("GPano:FullPanoWidthPixels=\"4000\" GPano:FullPanoHeightPixels=\"2000\"")),
       "ohne Projektionsart"},
      {"crop reaching beyond the full panorama",
       header(1000, 1000, gpanoPacket(placement(1000, 1000, 4000, 2000, 3500, 0))),
       "liegt nicht im vollen Panorama"},
      {"crop below the full panorama", header(1000, 1000, gpanoPacket(placement(1000, 1000, 4000, 2000, 0, 1001))),
       "liegt nicht im vollen Panorama"},
      {"zero full width", header(1000, 1000, gpanoPacket(placement(1000, 1000, 0, 2000, 0, 0))),
       "FullPanoWidthPixels ist keine positive Pixelzahl (\"0\")"},
      {"a word for a number",
       header(1000, 500,
              gpanoPacket("GPano:ProjectionType=\"equirectangular\" GPano:FullPanoWidthPixels=\"viertausend\"")),
       "FullPanoWidthPixels ist keine positive Pixelzahl (\"viertausend\")"},
      {"a fraction for a pixel number",
       header(1000, 500, gpanoPacket("GPano:ProjectionType=\"equirectangular\" GPano:CroppedAreaLeftPixels=\"1.5\"")),
       "CroppedAreaLeftPixels ist keine gültige Pixelzahl"},
      {"negative placement",
       header(1000, 500, gpanoPacket("GPano:ProjectionType=\"equirectangular\" GPano:CroppedAreaTopPixels=\"-1\"")),
       "CroppedAreaTopPixels ist keine gültige Pixelzahl"},
      {"cropped size of another shape than the photograph",
       header(2000, 600, gpanoPacket(placement(4000, 1000, 4000, 2000, 0, 500))),
       "es hat 2000 × 600 Pixel, der Ausschnitt 4000 × 1000"},
      {"full panorama not 2:1", header(4000, 1000, gpanoPacket(placement(4000, 1000, 4000, 1000, 0, 0))),
       "das volle Panorama (4000 × 1000) ist nicht 2:1"},
      {"pitch beyond straight up",
       header(4000, 2000,
              gpanoPacket("GPano:ProjectionType=\"equirectangular\" GPano:PosePitchDegrees=\"95\"")),
       "PosePitchDegrees ist kein Winkel von -90 bis 90 Grad"},
      {"roll that is not a number",
       header(4000, 2000, gpanoPacket("GPano:ProjectionType=\"equirectangular\" GPano:PoseRollDegrees=\"nan\"")),
       "PoseRollDegrees ist kein Winkel"},
  };
  for (const Refused& c : cases) {
    SCOPED_TRACE(c.name);
    Equirect360 got;
    got.imageWidth = -7;
    std::string reason;
    EXPECT_FALSE(describeEquirect360(c.header, &got, &reason));
    EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    EXPECT_EQ(got.imageWidth, -7) << "description left unchanged";
  }
}

TEST(Equirect360, PoseIsReadAndHeadingWrapped) {
  const JpegHeader posed =
      header(4000, 2000,
             gpanoPacket("GPano:ProjectionType=\"equirectangular\" GPano:PoseHeadingDegrees=\"-90\" "
                         "GPano:PosePitchDegrees=\"2.5\" GPano:PoseRollDegrees=\"-1e0\""));
  Equirect360 got;
  std::string reason;
  ASSERT_TRUE(describeEquirect360(posed, &got, &reason)) << reason;
  EXPECT_DOUBLE_EQ(got.headingDegrees, 270.0);
  EXPECT_DOUBLE_EQ(got.pitchDegrees, 2.5);
  EXPECT_DOUBLE_EQ(got.rollDegrees, -1.0);
  // The pose does not move the edges: the viewer applies it on its own.
  EXPECT_DOUBLE_EQ(got.azimuthLeft, 180.0);
  EXPECT_DOUBLE_EQ(got.altitudeTop, 180.0);
}

TEST(Equirect360, GPanoValuesAreFoundOnlyAsWholeNames) {
  const std::string xmp =
      "<x xmlns:G=\"http://ns.google.com/photos/1.0/panorama/\" xmlns:Q='http://ns.google.com/photos/1.0/panorama/'"
      " XG:FullPanoWidthPixels=\"1\" G:FullPanoWidthPixels = \"8000\" G:FullPanoWidthPixels=\"9\">"
      "<Q:CroppedAreaTopPixels>12</Q:CroppedAreaTopPixels><G:Broken>unterminated";
  const auto values = findGPanoValues(xmp);
  ASSERT_EQ(values.count("FullPanoWidthPixels"), 1u);
  EXPECT_EQ(values.at("FullPanoWidthPixels"), "8000");  // not XG's, and the first of G's
  EXPECT_EQ(values.at("CroppedAreaTopPixels"), "12");
  EXPECT_EQ(values.count("Broken"), 0u);
  EXPECT_TRUE(findGPanoValues("<x GPano:FullPanoWidthPixels=\"5\"/>").empty()) << "unbound prefix";
}

TEST(Equirect360, ReadsRealFilesIncludingExtendedMetadata) {
  TempDir dir;
  writeBytes(dir.file("sphere.jpg"), encoded(64, 32));
  writeBytes(dir.file("band.jpg"),
             afterStart(encoded(64, 16), xmpSegment(gpanoPacket(placement(64, 16, 64, 32, 0, 8)))));
  const std::string guid = "FEDCBA9876543210FEDCBA9876543210";
  const std::string extended = gpanoPacket(placement(64, 16, 64, 32, 0, 0));
  writeBytes(dir.file("extended.jpg"),
             afterStart(encoded(64, 16),
                        xmpSegment("<x:xmpmeta xmlns:xmpNote=\"http://ns.adobe.com/xmp/note/\" "
                                   "xmpNote:HasExtendedXMP=\"" + guid + "\"/>") +
                            extendedXmpSegment(guid, static_cast<std::uint32_t>(extended.size()), 0, extended)));
  writeBytes(dir.file("photo.jpg"), encoded(60, 40));
  writeBytes(dir.file("text.jpg"), "not a picture");

  Equirect360 got;
  std::string reason;
  ASSERT_TRUE(readEquirect360(dir.file("sphere.jpg"), &got, &reason)) << reason;
  EXPECT_TRUE(got.wholeSphere);
  // Pixel (0, 0) of a 64 x 32 sphere is centred at azimuth 180 - 0.5 * 360 / 64.
  const double azimuth = got.azimuthLeft - 0.5 * (got.azimuthLeft - got.azimuthRight) / got.imageWidth;
  EXPECT_DOUBLE_EQ(azimuth, 180.0 - 2.8125);

  ASSERT_TRUE(readEquirect360(dir.file("band.jpg"), &got, &reason)) << reason;
  EXPECT_DOUBLE_EQ(got.altitudeTop, 135.0);
  EXPECT_DOUBLE_EQ(got.altitudeBottom, 45.0);

  ASSERT_TRUE(readEquirect360(dir.file("extended.jpg"), &got, &reason)) << reason;
  EXPECT_DOUBLE_EQ(got.altitudeTop, 180.0);
  EXPECT_DOUBLE_EQ(got.altitudeBottom, 90.0);

  EXPECT_FALSE(readEquirect360(dir.file("photo.jpg"), &got, &reason));
  EXPECT_NE(reason.find("Seitenverhältnis 3:2"), std::string::npos) << reason;
  EXPECT_FALSE(readEquirect360(dir.file("text.jpg"), &got, &reason));
  EXPECT_NE(reason.find("keine JPEG-Datei"), std::string::npos) << reason;
  EXPECT_FALSE(readEquirect360(dir.file("missing.jpg"), &got, &reason));
  EXPECT_NE(reason.find("nicht gefunden"), std::string::npos) << reason;
}
