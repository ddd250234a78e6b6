#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "JpegTestSupport.h"
#include "panorama/JpegHeader.h"
#include "support/TempDir.h"

using namespace jpegtest;

namespace {

const std::string kGuid = "0123456789ABCDEF0123456789ABCDEF";

struct HeaderCase {
  std::string name;
  std::string bytes;
  JpegRead result;
  int width = 0;
  int height = 0;
  int components = 0;
  bool progressive = false;
  int orientation = 0;
  std::string xmp;
  std::string extendedXmp;
  std::string reason;  // a fragment of the German reason on failure
};

HeaderCase good(std::string name, std::string bytes, int width, int height, int components,
                bool progressive = false, int orientation = 0, std::string xmp = "", std::string extendedXmp = "") {
  return {std::move(name), std::move(bytes), JpegRead::kRead, width, height, components, progressive,
          orientation, std::move(xmp), std::move(extendedXmp), ""};
}

HeaderCase bad(std::string name, std::string bytes, JpegRead result, std::string reason = "") {
  return {std::move(name), std::move(bytes), result, 0, 0, 0, false, 0, "", "", std::move(reason)};
}

// A start-of-frame segment of `width` x `height` with three components.
std::string frame(int marker, int width, int height) {
  const std::string payload = {8, static_cast<char>(height >> 8), static_cast<char>(height & 0xFF),
                               static_cast<char>(width >> 8), static_cast<char>(width & 0xFF), 3,
                               1, 0x11, 0, 2, 0x11, 1, 3, 0x11, 1};
  return segment(marker, payload);
}

const std::string kSoi = "\xFF\xD8";
const std::string kEoi = "\xFF\xD9";

std::vector<HeaderCase> cases() {
  const std::string plain = encoded(40, 30);
  const std::string main = "<x:xmpmeta xmpNote:HasExtendedXMP=\"" + kGuid + "\"/>";
  const std::string extended = "<rdf:Description GPano:FullPanoWidthPixels=\"8000\"/>";
  const std::string firstHalf = extended.substr(0, 20);
  const std::string secondHalf = extended.substr(20);
  const auto total = static_cast<std::uint32_t>(extended.size());
  std::vector<HeaderCase> all = {
      good("baseline colour", plain, 40, 30, 3),
      good("progressive", encoded(64, 32, true), 64, 32, 3, true),
      good("grey", encoded(17, 9, false, 1), 17, 9, 1),
      good("xmp packet", afterStart(plain, xmpSegment("<x:xmpmeta/>")), 40, 30, 3, false, 0, "<x:xmpmeta/>"),
      good("exif orientation little-endian", afterStart(plain, exifSegment(6, false)), 40, 30, 3, false, 6),
      good("exif orientation big-endian", afterStart(plain, exifSegment(8, true)), 40, 30, 3, false, 8),
      good("exif orientation out of range", afterStart(plain, exifSegment(9, true)), 40, 30, 3),
      good("extended xmp in two chunks, out of order",
           afterStart(plain, xmpSegment(main) + extendedXmpSegment(kGuid, total, 20, secondHalf) +
                                 extendedXmpSegment(kGuid, total, 0, firstHalf)),
           40, 30, 3, false, 0, main, extended),
      good("extended xmp with a chunk missing",
           afterStart(plain, xmpSegment(main) + extendedXmpSegment(kGuid, total, 0, firstHalf)), 40, 30, 3, false,
           0, main),
      good("extended xmp of a guid the packet does not name",
           afterStart(plain, xmpSegment("<x:xmpmeta/>") + extendedXmpSegment(kGuid, total, 0, extended)), 40, 30,
           3, false, 0, "<x:xmpmeta/>"),
      good("extended xmp with one half twice",
           afterStart(plain, xmpSegment(main) + extendedXmpSegment(kGuid, 40, 0, std::string(20, 'x')) +
                                 extendedXmpSegment(kGuid, 40, 0, std::string(20, 'y'))),
           40, 30, 3, false, 0, main),
      good("extended xmp chunk beyond its total",
           afterStart(plain, xmpSegment(main) + extendedXmpSegment(kGuid, 4, 2, "abcdef")), 40, 30, 3, false, 0,
           main),
      good("fill bytes before markers", kSoi + "\xFF\xFF\xFF" + frame(0xC0, 12, 34) + "\xFF\xFF" + kEoi, 12, 34, 3),
      good("garbage between segments", kSoi + std::string("garbage\x00\xFF\x00", 10) + frame(0xC1, 5, 6) + kEoi,
           5, 6, 3),
      good("restart markers are skipped", kSoi + "\xFF\xD0\xFF\x01" + frame(0xC0, 7, 8), 7, 8, 3),
      good("the first frame header counts", kSoi + frame(0xC2, 3, 4) + frame(0xC0, 9, 9), 3, 4, 3, true),
      good("cut short right after the frame header", plain.substr(0, plain.find("\xFF\xC0") + 19), 40, 30, 3),
      bad("cut short inside the frame header", plain.substr(0, plain.find("\xFF\xC0") + 8), JpegRead::kDamaged),
      bad("frame header after the scan is not looked for", kSoi + "\xFF\xDA" + frame(0xC0, 5, 5),
          JpegRead::kDamaged),
      bad("huffman table is no frame header", kSoi + segment(0xC4, std::string(20, '\1')) + kEoi,
          JpegRead::kDamaged),
      bad("zero height (size given later)", kSoi + frame(0xC0, 10, 0) + kEoi, JpegRead::kDamaged, "Bildgröße 0"),
      bad("segment length 0", kSoi + std::string("\xFF\xE1\x00\x00", 4) + frame(0xC0, 5, 5), JpegRead::kDamaged,
          "Segmentlänge"),
      bad("segment length 1", kSoi + std::string("\xFF\xE0\x00\x01", 4), JpegRead::kDamaged),
      bad("segment longer than the file", kSoi + "\xFF\xE1\xFF\xFF" + "short", JpegRead::kDamaged),
      bad("frame header shorter than six bytes", kSoi + segment(0xC0, std::string("\x08\x00\x01", 3)) + kEoi,
          JpegRead::kDamaged),
      bad("no frame header at all", kSoi + kEoi, JpegRead::kDamaged, "Frame-Kopf"),
      bad("only the start marker", kSoi, JpegRead::kDamaged),
      bad("not a jpeg", "\x89PNG\r\n\x1A\n", JpegRead::kNotJpeg, "keine JPEG-Datei"),
      bad("empty", "", JpegRead::kNotJpeg),
      bad("one byte", "\xFF", JpegRead::kNotJpeg),
  };
  return all;
}

void expectCase(const HeaderCase& c, JpegRead result, const JpegHeader& header, const std::string& reason,
                const char* via) {
  SCOPED_TRACE(c.name + " via " + via);
  ASSERT_EQ(static_cast<int>(result), static_cast<int>(c.result));
  if (result != JpegRead::kRead) {
    EXPECT_EQ(header.width, -1) << "header left unchanged";
    EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    return;
  }
  EXPECT_EQ(header.width, c.width);
  EXPECT_EQ(header.height, c.height);
  EXPECT_EQ(header.components, c.components);
  EXPECT_EQ(header.progressive, c.progressive);
  EXPECT_EQ(header.orientation, c.orientation);
  EXPECT_EQ(header.xmp, c.xmp);
  EXPECT_EQ(header.extendedXmp, c.extendedXmp);
}

}  // namespace

TEST(JpegHeader, MemoryAndFileGiveTheSameHeaders) {
  TempDir dir;
  for (const HeaderCase& c : cases()) {
    JpegHeader fromMemory;
    fromMemory.width = -1;
    std::string reason;
    expectCase(c, parseJpegHeader(c.bytes, &fromMemory, &reason), fromMemory, reason, "memory");

    writeBytes(dir.file("case.jpg"), c.bytes);
    JpegHeader fromFile;
    fromFile.width = -1;
    reason.clear();
    expectCase(c, readJpegHeader(dir.file("case.jpg"), &fromFile, &reason), fromFile, reason, "file");
  }
}

TEST(JpegHeader, SkipsLargeSegmentsWithoutReadingThem) {
  // Ten near-maximal comment segments before the frame header.
  std::string bytes = "\xFF\xD8";
  for (int i = 0; i < 10; ++i) bytes += segment(0xFE, std::string(65533, 'c'));
  bytes += frame(0xC0, 640, 320) + "\xFF\xD9";
  TempDir dir;
  writeBytes(dir.file("big.jpg"), bytes);
  JpegHeader header;
  ASSERT_EQ(readJpegHeader(dir.file("big.jpg"), &header, nullptr), JpegRead::kRead);
  EXPECT_EQ(header.width, 640);
  EXPECT_EQ(header.height, 320);
}

TEST(JpegHeader, OnlyRegularFilesAreOpened) {
  TempDir dir;
  writeBytes(dir.file("real.jpg"), encoded(8, 8));
  std::filesystem::create_directory(dir.file("folder.jpg"));
  ASSERT_EQ(mkfifo(dir.file("pipe.jpg").c_str(), 0600), 0);
  std::filesystem::create_symlink("real.jpg", dir.file("link.jpg"));
  std::filesystem::create_symlink("loop.jpg", dir.file("loop.jpg"));
  const std::vector<std::pair<std::string, JpegRead>> cases = {
      {"real.jpg", JpegRead::kRead},       {"link.jpg", JpegRead::kRead},
      {"folder.jpg", JpegRead::kNotAFile}, {"pipe.jpg", JpegRead::kNotAFile},
      {"loop.jpg", JpegRead::kNotAFile},   {"missing.jpg", JpegRead::kNotAFile},
  };
  for (const auto& [name, expected] : cases) {
    JpegHeader header;
    std::string reason;
    EXPECT_EQ(readJpegHeader(dir.file(name), &header, &reason), expected) << name;
    if (expected != JpegRead::kRead) {
      EXPECT_FALSE(reason.empty()) << name;
    }
  }
}

TEST(JpegHeader, ExifOrientationSurvivesDamagedDirectories) {
  const std::string good = exifSegment(3, false).substr(4);  // payload without marker and length
  EXPECT_EQ(exifOrientation(good), 3);
  for (std::size_t cut = 0; cut < good.size(); ++cut) {
    const int orientation = exifOrientation(good.substr(0, cut));
    EXPECT_TRUE(orientation == 0 || orientation == 3) << cut;
  }
  std::string badOffset = good;
  badOffset[6 + 4] = '\xF0';  // first directory far beyond the data
  EXPECT_EQ(exifOrientation(badOffset), 0);
  std::string manyEntries = good;
  manyEntries[6 + 8] = '\xFF';  // 0xFF02 entries claimed, two present
  manyEntries[6 + 9] = '\xFF';
  EXPECT_EQ(exifOrientation(manyEntries), 3);  // found before the claimed entries run out of data
  std::string noOrientation = manyEntries;
  noOrientation[6 + 10 + 12] = '\x13';  // the orientation tag becomes 0x0113
  EXPECT_EQ(exifOrientation(noOrientation), 0);
}
