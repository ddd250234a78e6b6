#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "panorama/PicManager.h"
#include "support/TempDir.h"

namespace {

constexpr double kPi = 3.141592653589793;

using Group = std::vector<std::string>;  // the seven texts of one photograph

// A description with generic element names; `pictures` holds the raw content
// of the pictures element.
std::string description(const std::string& count, const std::string& pictures,
                        const std::string& lens = "<n>Standard lens</n><f>18</f>",
                        const std::string& sensor = "<w>23.6</w><h>15.8</h>") {
  return "<?xml version=\"1.0\"?>\n<pano>\n <c>" + count + "</c>\n <cam><lens>" + lens +
         "</lens><sensor>" + sensor + "</sensor></cam>\n <pics>" + pictures + "</pics>\n</pano>\n";
}

std::string groups(const std::vector<Group>& all) {
  std::string text;
  for (const Group& group : all) {
    for (const std::string& value : group) {
      text += "<v>" + value + "</v>";
    }
    text += "\n";
  }
  return text;
}

// A photograph group of 40 x 30 pixels (height first) at the horizon.
Group photo(const std::string& id, const std::string& azimuth = "0") {
  return {id, "90", azimuth, "0", "0", "30", "40"};
}

void writeText(const std::string& path, const std::string& text) {
  std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent);
  std::ofstream(path, std::ios::binary) << text;
}

void writePhoto(const std::string& path, int width = 40, int height = 30, int shade = 90) {
  cv::Mat pixels(height, width, CV_8UC3, cv::Scalar(shade, 120, 200));
  cv::rectangle(pixels, cv::Rect(0, 0, width / 2, height / 2), cv::Scalar(10, shade, 30), cv::FILLED);
  ASSERT_TRUE(cv::imwrite(path, pixels));
}

// Writes `xml` as `path` and the photographs `ids` beside it.
void writePanorama(const std::string& path, const std::string& xml,
                   const std::vector<std::string>& ids) {
  writeText(path, xml);
  const std::filesystem::path directory = std::filesystem::path(path).parent_path();
  for (std::size_t i = 0; i < ids.size(); ++i) {
    writePhoto((directory / (ids[i] + ".jpg")).string(), 40, 30, static_cast<int>(20 * i));
  }
}

void expectEmpty(const PicManager& manager) {
  EXPECT_TRUE(manager.pictures.empty());
  EXPECT_EQ(manager.count, 0);
  EXPECT_EQ(manager.pictureCount, 0);
  EXPECT_EQ(manager.findById(0), nullptr);
  EXPECT_FALSE(manager.error.empty());
}

}  // namespace

TEST(PicManager, ReadsTheDescribedExample) {
  TempDir dir;
  const Group first{"0", "90", "0", "0", "0", "2000", "3000"};
  const Group second{"1", "90", "30", "4", "0.5", "2000", "3000"};
  writeText("pan/a.xml", description("2", groups({first, second})));
  writePhoto("pan/0.jpg", 3000, 2000);
  writePhoto("pan/1.jpg", 3000, 2000);

  PicManager manager;
  ASSERT_EQ(manager.openPanorama("pan/a.xml"), PicManager::kRead) << manager.error;
  EXPECT_EQ(manager.status, 0);
  EXPECT_TRUE(manager.error.empty());
  EXPECT_EQ(manager.pictureCount, 2);
  EXPECT_EQ(manager.count, 2);
  EXPECT_EQ(manager.lensName, "Standard lens");
  EXPECT_EQ(manager.focalLength, 18);
  EXPECT_DOUBLE_EQ(manager.sensorWidth, 23.6);
  EXPECT_DOUBLE_EQ(manager.sensorHeight, 15.8);

  const Picture* p1 = manager.findById(1);
  ASSERT_NE(p1, nullptr);
  EXPECT_EQ(p1->fullWidth, 3000);
  EXPECT_EQ(p1->fullHeight, 2000);
  EXPECT_DOUBLE_EQ(p1->altitude, 90 * kPi / 180);
  EXPECT_DOUBLE_EQ(p1->azimuth, 30 * kPi / 180);
  EXPECT_DOUBLE_EQ(p1->focalLength, 18.0);
  EXPECT_DOUBLE_EQ(p1->sensorWidth, 23.6);
  EXPECT_DOUBLE_EQ(p1->extra1, 4.0);
  EXPECT_FLOAT_EQ(p1->extra2, 0.5f);
  EXPECT_EQ(p1->fileName, "pan/1.jpg");
  EXPECT_DOUBLE_EQ(p1->basePitch, 1 / 127.4);
  EXPECT_EQ(p1->preview.cols, 101);
  EXPECT_EQ(p1->preview.rows, 67);
  EXPECT_TRUE(p1->previewIsCurrent());
  EXPECT_EQ(manager.findById(0)->fileName, "pan/0.jpg");
}

TEST(PicManager, OnlyElementPositionsCount) {
  TempDir dir;
  // Comments, blank text and other names everywhere a layout element is not.
  const std::string xml =
      "<?xml version=\"1.0\"?>\n<!-- leading comment -->\n"
      "<anything kind=\"x\">\n  <!-- c -->\n  <number>2</number>\n  <!-- c -->\n"
      "  <optics>\n    <glass>\n      <label>Wide</label>\n      <!-- c -->\n      <mm>18.5</mm>\n"
      "      <ignored>1</ignored>\n    </glass>\n    <chip><a>23.6</a><b>15.8</b><c>9</c></chip>\n"
      "    <ignored/>\n  </optics>\n  <list>\n    <!-- group -->\n"
      "    <a>1</a><b>80</b><c>10</c><d>0</d><e>0</e><f>30</f><g>40</g>\n"
      "    <x>0</x> <y>100</y> <z>20</z> <t>0</t> <u>0</u> <v>30</v> <w>40</w>\n"
      "  </list>\n  <trailing>ignored</trailing>\n</anything>\n";
  writePanorama("a.xml", xml, {"0", "1"});

  PicManager manager;
  ASSERT_EQ(manager.openPanorama("a.xml"), PicManager::kRead) << manager.error;
  EXPECT_EQ(manager.lensName, "Wide");
  EXPECT_EQ(manager.focalLength, 18) << "the focal length is an integer";
  ASSERT_EQ(manager.pictureCount, 2);
  EXPECT_EQ(manager.pictures[0]->id, 0);
  EXPECT_DOUBLE_EQ(manager.pictures[0]->altitude, 100 * kPi / 180);
  EXPECT_EQ(manager.pictures[0]->fileName, "0.jpg") << "a bare file name gives bare picture names";
  EXPECT_EQ(manager.pictures[1]->id, 1);
  EXPECT_DOUBLE_EQ(manager.pictures[1]->azimuth, 10 * kPi / 180);
}

TEST(PicManager, PicturePathsComeFromTheDescriptionsDirectory) {
  struct Case {
    std::string xmlPath;
    std::string picturePath;
  };
  // A backslash is an ordinary file name character here: a Windows-style
  // path names one file in the working directory, and the photographs lie
  // there too.
  const Case cases[] = {{"C:\\pan\\a.xml", "0.jpg"},
                        {"my\\pano.xml", "0.jpg"},
                        {"data/pan/a.xml", "data/pan/0.jpg"},
                        {"a.xml", "0.jpg"},
                        {"mixed\\dir/a.xml", "mixed\\dir/0.jpg"},
                        {"back\\slash/dir\\a.xml", "back\\slash/0.jpg"}};
  for (const Case& c : cases) {
    TempDir dir;
    writePanorama(c.xmlPath, description("1", groups({photo("0")})), {"0"});
    PicManager manager;
    ASSERT_EQ(manager.openPanorama(c.xmlPath.c_str()), PicManager::kRead) << c.xmlPath << ": " << manager.error;
    EXPECT_EQ(manager.pictures[0]->fileName, c.picturePath);
  }
  TempDir dir;
  writePanorama(dir.file("abs/a.xml"), description("1", groups({photo("0")})), {"0"});
  PicManager manager;
  ASSERT_EQ(manager.openPanorama(dir.file("abs/a.xml").c_str()), PicManager::kRead);
  EXPECT_EQ(manager.pictures[0]->fileName, dir.file("abs/0.jpg"));
}

TEST(PicManager, IdTextIsTheFileNameAndItsNumberTheId) {
  TempDir dir;
  std::vector<Group> all;
  std::vector<std::string> ids;
  for (int i = 0; i < 7; ++i) {
    ids.push_back(std::to_string(i));
  }
  ids.push_back("007");
  for (const std::string& id : ids) all.push_back(photo(id));
  writePanorama("a.xml", description("8", groups(all)), ids);

  PicManager manager;
  ASSERT_EQ(manager.openPanorama("a.xml"), PicManager::kRead) << manager.error;
  const Picture* seven = manager.findById(7);
  ASSERT_NE(seven, nullptr);
  EXPECT_EQ(seven->fileName, "007.jpg");
}

TEST(PicManager, PicturesAreSortedByIdAndFoundById) {
  TempDir dir;
  writePanorama("a.xml", description("3", groups({photo("2", "20"), photo("0", "0"), photo("1", "10")})),
                {"2", "0", "1"});
  PicManager manager;
  ASSERT_EQ(manager.openPanorama("a.xml"), PicManager::kRead) << manager.error;
  for (int slot = 0; slot < 3; ++slot) {
    EXPECT_EQ(manager.pictures[slot]->id, slot);
    EXPECT_EQ(manager.findById(slot), manager.pictures[slot].get());
    EXPECT_DOUBLE_EQ(manager.pictures[slot]->azimuth, 10 * slot * kPi / 180);
  }
  EXPECT_EQ(manager.findById(3), nullptr);
  EXPECT_EQ(manager.findById(-1), nullptr);

  // The binary search finds pictures outside their own slot.
  std::swap(manager.pictures[0], manager.pictures[1]);
  manager.pictures[0]->id = -5;
  EXPECT_EQ(manager.findById(-5), manager.pictures[0].get());
  EXPECT_EQ(manager.findById(2), manager.pictures[2].get());
  EXPECT_EQ(manager.findById(1), nullptr);
}

TEST(PicManager, BubbleSortKeepsEqualIdsInOrder) {
  PicManager manager;
  for (int id : {3, 1, 3, 0, 1}) {
    PhotoEntry entry;
    entry.id = id;
    entry.width = 40;
    entry.height = 30;
    manager.pictures.push_back(manager.createPicture(entry));
    manager.pictures.back()->extra1 = static_cast<double>(manager.pictures.size());
  }
  manager.pictureCount = 5;
  EXPECT_EQ(manager.count, 5);
  manager.sortById();
  std::vector<std::pair<int, double>> order;
  for (const auto& picture : manager.pictures) order.emplace_back(picture->id, picture->extra1);
  EXPECT_EQ(order, (std::vector<std::pair<int, double>>{{0, 4}, {1, 2}, {1, 5}, {3, 1}, {3, 3}}));
}

TEST(PicManager, MissingOrBrokenFileGivesStatusTwo) {
  TempDir dir;
  writeText("broken.xml", "<pano><c>1</c><cam>");
  writeText("empty.xml", "");
  for (const char* path : {"nothing.xml", "broken.xml", "empty.xml"}) {
    PicManager manager;
    EXPECT_EQ(manager.openPanorama(path), PicManager::kNotLoaded) << path;
    EXPECT_EQ(manager.status, 2);
    expectEmpty(manager);
  }
  PicManager manager;
  EXPECT_EQ(manager.openPanorama(nullptr), PicManager::kNotLoaded);
}

TEST(PicManager, LayoutDeviationsAreRejectedWithStatusOne) {
  struct Case {
    const char* name;
    std::string xml;
  };
  const std::string two = groups({photo("0"), photo("1")});
  const std::string longDirectory(5000, 'd');
  const Case cases[] = {
      {"root without children", "<pano/>"},
      {"count without text", description("", two)},
      {"count is a comment", "<p><c><!-- 2 -->2</c><cam><l><n>x</n><f>1</f></l><s><w>1</w><h>1</h></s></cam><q/></p>"},
      {"negative count", description("-2", two)},
      {"zero count", description("0", "")},
      {"absurd count", description("100001", two)},
      {"no camera", "<p><c>2</c></p>"},
      {"no lens", "<p><c>2</c><cam/><q>" + two + "</q></p>"},
      {"no sensor", "<p><c>2</c><cam><l><n>x</n><f>18</f></l></cam><q>" + two + "</q></p>"},
      {"no pictures element", "<p><c>2</c><cam><l><n>x</n><f>18</f></l><s><w>1</w><h>1</h></s></cam></p>"},
      {"lens name without text", description("2", two, "<n/><f>18</f>")},
      {"focal length missing", description("2", two, "<n>x</n>")},
      {"zero focal length", description("2", two, "<n>x</n><f>0.5</f>")},
      {"sensor height missing", description("2", two, "<n>x</n><f>18</f>", "<w>23.6</w>")},
      {"negative sensor", description("2", two, "<n>x</n><f>18</f>", "<w>-23.6</w><h>15.8</h>")},
      {"value without text", description("2", groups({photo("0")}) +
                                                  "<v>1</v><v>90</v><v/><v>0</v><v>0</v><v>30</v><v>40</v>")},
      {"no pictures at all", description("2", "")},
      {"incomplete last group", description("2", two + "<v>2</v>")},
      {"short last group", description("2", groups({photo("0")}) + "<v>1</v><v>90</v><v>0</v>")},
      {"fewer groups", description("2", groups({photo("0")}))},
      {"more groups", description("1", two)},
      {"duplicate id", description("2", groups({photo("0"), photo("0")}))},
      {"id out of range", description("2", groups({photo("0"), photo("2")}))},
      {"negative id", description("2", groups({photo("0"), photo("-1")}))},
      {"zero width", description("1", groups({{"0", "90", "0", "0", "0", "30", "0"}}))},
      {"not a number altitude", description("1", groups({{"0", "nan", "0", "0", "0", "30", "40"}}))},
      {"picture path too long", description("1", groups({photo(longDirectory)}))},
  };
  for (const Case& c : cases) {
    TempDir dir;
    writePanorama("a.xml", c.xml, {"0", "1", "2"});
    PicManager manager;
    EXPECT_EQ(manager.openPanorama("a.xml"), PicManager::kBadLayout) << c.name;
    SCOPED_TRACE(c.name);
    expectEmpty(manager);
  }
}

TEST(PicManager, UnreadablePhotographRejectsThePanorama) {
  TempDir dir;
  writePanorama("a.xml", description("2", groups({photo("0"), photo("1")})), {"0"});
  PicManager missing;
  EXPECT_EQ(missing.openPanorama("a.xml"), PicManager::kPictureUnreadable);
  expectEmpty(missing);
  EXPECT_NE(missing.error.find("1.jpg"), std::string::npos) << missing.error;

  writePhoto("1.jpg", 41, 30);  // not the described size
  PicManager wrongSize;
  EXPECT_EQ(wrongSize.openPanorama("a.xml"), PicManager::kPictureUnreadable);
  expectEmpty(wrongSize);
}

TEST(PicManager, FirstUnreadablePhotographInFileOrderIsNamedWhateverTheThreads) {
  TempDir dir;
  std::vector<Group> all;
  std::vector<std::string> present;
  for (int i = 0; i < 12; ++i) {
    all.push_back(photo(std::to_string((i + 5) % 12)));
    if (i != 6 && i != 9) present.push_back(std::to_string((i + 5) % 12));
  }
  writePanorama("a.xml", description("12", groups(all)), present);
  for (int threads : {1, 2, 5, 16}) {
    PicManager manager;
    manager.previewThreads = threads;
    EXPECT_EQ(manager.openPanorama("a.xml"), PicManager::kPictureUnreadable);
    EXPECT_NE(manager.error.find(" 11.jpg"), std::string::npos) << threads << ": " << manager.error;
    expectEmpty(manager);
  }
}

TEST(PicManager, PreviewsDoNotDependOnTheThreadCount) {
  TempDir dir;
  std::vector<Group> all;
  std::vector<std::string> ids;
  for (int i = 0; i < 9; ++i) {
    ids.push_back(std::to_string(8 - i));
    all.push_back(photo(ids.back(), std::to_string(i * 40)));
  }
  writePanorama("a.xml", description("9", groups(all)), ids);
  PicManager sequential;
  sequential.previewThreads = 1;
  PicManager parallel;
  parallel.previewThreads = 4;
  ASSERT_EQ(sequential.openPanorama("a.xml"), PicManager::kRead);
  ASSERT_EQ(parallel.openPanorama("a.xml"), PicManager::kRead);
  for (int id = 0; id < 9; ++id) {
    const Picture* a = sequential.pictures[id].get();
    const Picture* b = parallel.pictures[id].get();
    EXPECT_EQ(a->id, b->id);
    EXPECT_EQ(a->fileName, b->fileName);
    EXPECT_DOUBLE_EQ(a->azimuth, b->azimuth);
    EXPECT_DOUBLE_EQ(a->pixelPitch, b->pixelPitch);
    EXPECT_EQ(a->fileReads, 1);
    EXPECT_EQ(b->fileReads, 1);
    ASSERT_EQ(a->preview.size(), b->preview.size());
    EXPECT_EQ(cv::norm(a->preview, b->preview, cv::NORM_INF), 0.0);
  }
}

TEST(PicManager, LongLensNameIsCutToTheBufferSize) {
  TempDir dir;
  const std::string name = std::string(9998, 'L') + "\xc3\xa4" + "tail";
  writePanorama("a.xml", description("1", groups({photo("0")}), "<n>" + name + "</n><f>18</f>"), {"0"});
  PicManager manager;
  ASSERT_EQ(manager.openPanorama("a.xml"), PicManager::kRead) << manager.error;
  EXPECT_EQ(manager.lensName, std::string(9998, 'L')) << "cut before the split two-byte character";

  writePanorama("b.xml", description("1", groups({photo("0")}), "<n>" + std::string(9999, 'x') + "</n><f>1</f>"), {});
  ASSERT_EQ(manager.openPanorama("b.xml"), PicManager::kRead);
  EXPECT_EQ(manager.lensName.size(), 9999u);
}

TEST(PicManager, RealsUseTheDecimalPointInAnyLocale) {
  const char* german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  if (german == nullptr) {
    GTEST_SKIP() << "no German locale installed";
  }
  TempDir dir;
  writePanorama("a.xml", description("1", groups({photo("0")})), {"0"});
  PicManager manager;
  const int result = manager.openPanorama("a.xml");
  std::setlocale(LC_NUMERIC, "C");
  ASSERT_EQ(result, PicManager::kRead);
  EXPECT_DOUBLE_EQ(manager.sensorWidth, 23.6);
}

TEST(PicManager, ReopeningReplacesThePreviousContent) {
  TempDir dir;
  writePanorama("a.xml", description("2", groups({photo("0"), photo("1")})), {"0", "1"});
  writePanorama("b.xml", description("2", groups({photo("0"), photo("0")})), {});
  PicManager manager;
  ASSERT_EQ(manager.openPanorama("a.xml"), PicManager::kRead);
  EXPECT_EQ(manager.openPanorama("b.xml"), PicManager::kBadLayout);
  expectEmpty(manager);
  ASSERT_EQ(manager.openPanorama("a.xml"), PicManager::kRead);
  EXPECT_TRUE(manager.error.empty());
  EXPECT_EQ(manager.count, 2);
}
