#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "ControllerTestSupport.h"
#include "panorama/PicManager.h"

using namespace controllertest;
namespace fs = std::filesystem;

namespace {

// A two-photograph panorama of 60 x 40 pixel photographs, assembled from
// pieces so that each case can break one of them.
const char* const kCamera =
    "<camera><lens><name>Test lens</name><focalLength>4</focalLength></lens>"
    "<sensor><width>0.47096</width><height>0.31397</height></sensor></camera>";

// One picture group; the second photograph looks 5 degrees beside the first.
std::string group(const std::string& id, const std::string& altitude = "90",
                  const std::string& width = "60") {
  return "<id>" + id + "</id><altitude>" + altitude + "</altitude><azimuth>" +
         (id == "0" ? "0" : "5") + "</azimuth><extra1>0</extra1><extra2>0</extra2><height>40</height><width>" + width +
         "</width>";
}

std::string description(const std::string& count, const std::string& camera,
                        const std::string& pictures) {
  return "<?xml version=\"1.0\"?><panorama><pictureCount>" + count + "</pictureCount>" + camera +
         "<pictures>" + pictures + "</pictures></panorama>\n";
}

const std::string kTwoGroups = group("0") + group("1");

void writePhoto(const fs::path& path, int width, int height) {
  cv::Mat photo(height, width, CV_8UC3, cv::Scalar(40, 120, 200));
  cv::imwrite(path.string(), photo);
}

// A case directory with the description `text` and both photographs.
std::string panoramaCase(const fs::path& directory, const std::string& text) {
  fs::create_directories(directory);
  writeFile(directory / "panorama.xml", text);
  writePhoto(directory / "0.jpg", 60, 40);
  writePhoto(directory / "1.jpg", 60, 40);
  return (directory / "panorama.xml").string();
}

std::string wellFormed(const fs::path& directory) {
  return panoramaCase(directory, description("2", kCamera, kTwoGroups));
}

struct BadPanorama {
  const char* name;
  int code;
  // What the log's error entry says about the refusal; none for -3.
  const char* reason;
  std::function<std::string(const fs::path&)> make;
};

std::vector<BadPanorama> badPanoramas() {
  auto text = [](std::string content) {
    return [content](const fs::path& d) { return panoramaCase(d, content); };
  };
  return {
      {"missing file", -3, nullptr, [](const fs::path& d) { return (d / "nowhere.xml").string(); }},
      {"directory as the path", -3, nullptr,
       [](const fs::path& d) {
         fs::create_directories(d);
         return d.string();
       }},
      {"empty file", -1, "cannot read", text("")},
      {"not well-formed", -1, "cannot read", text("<panorama><pictureCount>2</pictureCount>")},
      {"root without children", -1, "no root element with child elements", text("<panorama/>")},
      {"camera missing", -1, "the camera element is missing",
       text("<panorama><pictureCount>2</pictureCount></panorama>")},
      {"sensor missing", -1, "the sensor element is missing",
       text(description("2", "<camera><lens><name>L</name><focalLength>4</focalLength></lens></camera>",
                        kTwoGroups))},
      {"focal length missing", -1, "the focal length is missing",
       text(description("2",
                        "<camera><lens><name>L</name></lens><sensor><width>1</width>"
                        "<height>1</height></sensor></camera>",
                        kTwoGroups))},
      {"pictures missing", -1, "the pictures element is missing",
       text("<panorama><pictureCount>2</pictureCount>" + std::string(kCamera) + "</panorama>")},
      {"count without text", -1, "the picture count (line 1) has no text",
       text(description("", kCamera, kTwoGroups))},
      {"lens name without text", -1, "the lens name (line 1) has no text",
       text(description("2",
                        "<camera><lens><name/><focalLength>4</focalLength></lens><sensor>"
                        "<width>1</width><height>1</height></sensor></camera>",
                        kTwoGroups))},
      {"group value holding an element", -1, "value 1 of 7 of picture group 2 (line 1) has no text",
       text(description("2", kCamera, group("0") + group("<b>1</b>")))},
      {"incomplete last group", -1, "picture group 2 is incomplete",
       text(description("2", kCamera, group("0") + "<id>1</id><altitude>90</altitude>"))},
      {"more groups than the count", -1, "describes more pictures than the 1 it declares",
       text(description("1", kCamera, kTwoGroups))},
      {"fewer groups than the count", -1, "declares 3 pictures but describes 2",
       text(description("3", kCamera, kTwoGroups))},
      {"negative count", -1, "the picture count -2 lies outside",
       text(description("-2", kCamera, kTwoGroups))},
      {"zero count", -1, "the picture count 0 lies outside",
       text(description("0", kCamera, kTwoGroups))},
      {"absurd count", -1, "the picture count 2147483647 lies outside",
       text(description("99999999999999", kCamera, kTwoGroups))},
      {"duplicate ID", -1, "picture ID 0 appears more than once",
       text(description("2", kCamera, group("0") + group("0")))},
      {"no picture 0", -1, "picture ID 2 lies outside 0 ... 1",
       text(description("2", kCamera, group("1") + group("2")))},
      {"negative ID", -1, "picture ID -1 lies outside",
       text(description("2", kCamera, group("0") + group("-1")))},
      {"zero pixel width", -1, "picture ID 1 has no positive pixel size (0 x 40)",
       text(description("2", kCamera, group("0") + group("1", "90", "0")))},
      {"altitude not a number", -1, "picture ID 1 has no finite altitude",
       text(description("2", kCamera, group("0") + group("1", "nan")))},
      {"zero focal length", -1, "the focal length 0 mm is not positive",
       text(description("2",
                        "<camera><lens><name>L</name><focalLength>0</focalLength></lens><sensor>"
                        "<width>1</width><height>1</height></sensor></camera>",
                        kTwoGroups))},
      {"negative sensor", -1, "the sensor size is not positive",
       text(description("2",
                        "<camera><lens><name>L</name><focalLength>4</focalLength></lens><sensor>"
                        "<width>-1</width><height>1</height></sensor></camera>",
                        kTwoGroups))},
      {"photograph missing", -1, "1.jpg (picture ID 1) cannot be read",
       [](const fs::path& d) {
         const std::string path = wellFormed(d);
         fs::remove(d / "1.jpg");
         return path;
       }},
      {"photograph not a JPEG", -1, "1.jpg (picture ID 1) cannot be read",
       [](const fs::path& d) {
         const std::string path = wellFormed(d);
         writeFile(d / "1.jpg", "\xff\xd8 these are not the pixels you are looking for");
         return path;
       }},
      {"photograph a directory", -1, "0.jpg (picture ID 0) cannot be read",
       [](const fs::path& d) {
         const std::string path = wellFormed(d);
         fs::remove(d / "0.jpg");
         fs::create_directory(d / "0.jpg");
         return path;
       }},
      {"photograph of the wrong size", -1, "1.jpg (picture ID 1) cannot be read as a JPEG image of 60 x 40",
       [](const fs::path& d) {
         const std::string path = wellFormed(d);
         writePhoto(d / "1.jpg", 40, 60);
         return path;
       }},
  };
}

struct BadSound {
  const char* name;
  int code;
  std::function<std::string(const fs::path&)> make;
};

// A sound directory whose one good set is followed (in name order) by
// `name` with `content`: the whole directory is refused.
std::string soundCase(const fs::path& directory, const std::string& name, const std::string& content) {
  writeSoundDirectory(directory, {{"Gut", 4, 2, "0.5000"}});
  writeFile(directory / name, content);
  return directory.string();
}

std::vector<BadSound> badSounds() {
  return {
      {"no path", ENOENT, [](const fs::path&) { return std::string(); }},
      {"missing directory", ENOENT, [](const fs::path& d) { return (d / "nowhere").string(); }},
      {"a file instead of a directory", ENOTDIR,
       [](const fs::path& d) {
         fs::create_directories(d);
         writeFile(d / "sound.csv", "4X2\nPegel\n0.1,0.1,0.1,0.1\n");
         return (d / "sound.csv").string();
       }},
      {"lower-case x header", -2,
       [](const fs::path& d) { return soundCase(d, "z.csv", "4x2\nPegel\n0.1,0.1,0.1,0.1\n"); }},
      {"header without a size", -2, [](const fs::path& d) { return soundCase(d, "z.csv", "Pegel\n"); }},
      {"zero size header", -2, [](const fs::path& d) { return soundCase(d, "z.csv", "0X2\nPegel\n"); }},
      {"negative size header", -2, [](const fs::path& d) { return soundCase(d, "z.csv", "4X-2\nPegel\n"); }},
      {"absurd size header", -2,
       [](const fs::path& d) { return soundCase(d, "z.csv", "100000X100000\nPegel\n"); }},
      {"empty file", -2, [](const fs::path& d) { return soundCase(d, "z.csv", ""); }},
      {"subdirectory named x.csv", -1,
       [](const fs::path& d) {
         writeSoundDirectory(d, {{"Gut", 4, 2, "0.5000"}});
         fs::create_directory(d / "x.csv");
         return d.string();
       }},
      {"unreadable file (a link to nowhere)", -1,
       [](const fs::path& d) {
         writeSoundDirectory(d, {{"Gut", 4, 2, "0.5000"}});
         fs::create_symlink(d / "gone", d / "x.csv");
         return d.string();
       }},
      {"unreadable file (a pipe)", -1,
       [](const fs::path& d) {
         writeSoundDirectory(d, {{"Gut", 4, 2, "0.5000"}});
         mkfifo((d / "x.csv").c_str(), 0600);
         return d.string();
       }},
  };
}

// A controller with the sample panorama open and its three sound data sets
// loaded, the second one shown half transparent over the view; the bad input
// of every case must leave all of it as it is.
class BadInput : public ControllerFixture<> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(openSample());
    controller->openSoundData(sample().sound);
    ASSERT_EQ(window.repMaximum(), 2);
    controller->setTransValue(50);
    controller->setRepValue(1);
    opened = controller->panorama();
    cameraStep();
    shown = window.lastImage();
    shownStatus = window.statusTexts().back();
    ASSERT_NE(shownStatus.find(" Sound: "), std::string::npos) << shownStatus;
  }

  // The same camera again: the view and the sound layer are recalculated and
  // the composed image handed over.
  void cameraStep() {
    const CamData cam = controller->camera();
    controller->setCameraData(cam.azimuth, cam.altitude, cam.f);
  }

  void expectStateIntact() {
    EXPECT_EQ(controller->panoramaPath(), sample().description);
    EXPECT_EQ(controller->panorama(), opened);
    EXPECT_FALSE(controller->locked());
    EXPECT_TRUE(controller->soundLoaded());
    EXPECT_EQ(controller->soundSetCount(), 3);
    EXPECT_EQ(controller->soundLayer(), 1);
    EXPECT_FLOAT_EQ(controller->soundAlpha(), 0.5f);
    EXPECT_EQ(window.repMaximum(), 2);
    ASSERT_FALSE(window.soundControls().empty());
    EXPECT_TRUE(window.soundControls().back());

    const int draws = window.drawCount();
    cameraStep();
    EXPECT_EQ(window.drawCount(), draws + 1);
    EXPECT_TRUE(sameImage(window.lastImage(), shown)) << "the same view over the same sound layer";
    EXPECT_EQ(window.statusTexts().back(), shownStatus) << "the same camera and sound set";
  }

  const PicManager* opened = nullptr;
  cv::Mat shown;
  std::string shownStatus;
};

}  // namespace

TEST_F(BadInput, EveryRefusedPanoramaFileLeavesTheOpenPanoramaAndSoundAsTheyWere) {
  int refused = 0;
  int missing = 0;
  for (const BadPanorama& bad : badPanoramas()) {
    SCOPED_TRACE(bad.name);
    const std::string path = bad.make(dir.path() / ("panorama-" + std::to_string(refused + missing)));
    const std::size_t logged = logText().size();
    const std::size_t shownErrors = window.errors().size();

    EXPECT_EQ(controller->openPanorama(path.c_str()), bad.code);

    const std::vector<std::string> errors = window.errors();
    ASSERT_EQ(errors.size(), shownErrors + 1);
    const std::string entries = logText().substr(logged);
    if (bad.code == -3) {
      ++missing;
      EXPECT_EQ(errors.back(), kMissingText);
      EXPECT_EQ(countEntries(entries, "PanController::openPanorama couldn't open xml-File"), 1);
    } else {
      ++refused;
      EXPECT_EQ(errors.back(), kMalformedText);
      EXPECT_EQ(countEntries(entries, "PanController::openPanorama couldn't open panorama"), 1);
      EXPECT_NE(entries.find(bad.reason), std::string::npos) << entries;
    }
    expectStateIntact();
  }
  EXPECT_EQ(missing, 2);
  EXPECT_EQ(refused, 27);
  EXPECT_EQ(countEntries("PanController::openPanorama releasing previous panorama"), 0);

  // The pieces the cases break make a panorama that reads: each case was
  // refused for its own fault. It replaces the sample.
  ASSERT_EQ(controller->openPanorama(wellFormed(dir.path() / "good").c_str()), 0);
  EXPECT_EQ(countEntries("PanController::openPanorama releasing previous panorama"), 1);
  ASSERT_NE(controller->panorama(), nullptr);
  EXPECT_EQ(controller->panorama()->pictureCount, 2);
  EXPECT_EQ(controller->panoramaPath(), dir.file("good/panorama.xml"));
}

TEST_F(BadInput, EveryRefusedSoundDirectoryLeavesTheLoadedSetsShown) {
  int index = 0;
  for (const BadSound& bad : badSounds()) {
    SCOPED_TRACE(bad.name);
    const std::string path = bad.make(dir.path() / ("sound-" + std::to_string(index++)));
    const std::size_t logged = logText().size();
    const std::size_t shownErrors = window.errors().size();
    const std::size_t controls = window.soundControls().size();

    EXPECT_EQ(controller->openSoundData(path.c_str()), bad.code);
    // The same through the window's slot, which also sets the controls.
    controller->openSoundData(path);

    const std::vector<std::string> errors = window.errors();
    ASSERT_EQ(errors.size(), shownErrors + 2);
    EXPECT_EQ(errors.back(), kSoundErrorText);
    EXPECT_EQ(window.soundControls().size(), controls + 1);
    const std::string entries = logText().substr(logged);
    EXPECT_EQ(countEntries(entries, "PanController::openSoundData error occured while trying to load soundData"), 2);
    expectStateIntact();
  }

  // Each case directory without its fault loads.
  ASSERT_EQ(controller->openSoundData(soundCase(dir.path() / "good", "z.csv", "4X2\nZ\n").c_str()), 0);
  EXPECT_EQ(controller->soundSetCount(), 2);
  EXPECT_EQ(controller->soundLayer(), 0);
}

TEST_F(BadInput, RefusalDuringASizeChangeShowsWhatIsOpenAtTheNewSize) {
  const std::string broken = panoramaCase(dir.path() / "broken", "<panorama>");
  const std::string noSound = dir.file("nowhere");
  // A settle delay far longer than a refused opening takes: the size change
  // cannot settle by its own timer first.
  settleAfter(2000ms);
  int draws = window.drawCount();
  for (const std::function<int()>& open :
       std::vector<std::function<int()>>{[&] { return controller->openPanorama(broken.c_str()); },
                                         [&] { return controller->openSoundData(noSound.c_str()); }}) {
    controller->canvasSizeChanged(96, 72);
    ASSERT_TRUE(controller->locked());
    const int refined = countStatus(window, kRefinedView);
    EXPECT_NE(open(), 0);
    EXPECT_FALSE(controller->locked());
    EXPECT_EQ(window.drawCount(), draws + 1);
    EXPECT_EQ(window.lastImage().size(), cv::Size(96, 72));
    EXPECT_FALSE(allPixels(window.lastImage(), 0, 0, 0)) << "the open panorama and sound, not a blank";
    // The refinement that the opening cancelled follows.
    EXPECT_FALSE(controller->settled());
    ASSERT_TRUE(waitUntilSettled());
    EXPECT_EQ(countStatus(window, kRefinedView), refined + 1);
    EXPECT_EQ(window.lastImage().size(), cv::Size(96, 72));
    draws = window.drawCount();
  }
  // The openings finished the size changes; the timer only refined.
  EXPECT_EQ(countEntries(kTimerResized), 0);
  EXPECT_EQ(countEntries(kTimerRefined), 2);
  EXPECT_EQ(controller->panoramaPath(), sample().description);
  EXPECT_EQ(controller->soundSetCount(), 3);
}
