#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "ControllerTestSupport.h"
#include "SampleProject.h"
#include "camera/GeneralCamera.h"
#include "panorama/PicManager.h"
#include "panorama/Picture.h"
#include "support/LensScene.h"
#include "support/ProjectShot.h"

using namespace controllertest;

namespace {

// Three rectilinear photographs of one lens and a circular fisheye.
std::vector<ProjectPhoto> fourPhotos() {
  Lens lens;
  lens.width = 480;
  lens.height = 360;
  lens.hfovDegrees = 60.0;
  Lens fisheye;
  fisheye.projection = Projection::CircularFisheye;
  fisheye.width = 500;
  fisheye.height = 440;
  fisheye.hfovDegrees = 190.0;
  return {projectShot(lens, -20.0, 0.0, 0.0, "a.jpg"), projectShot(lens, 20.0, 0.0, 0.0, "b.jpg"),
          projectShot(lens, 0.0, 35.0, 0.0, "c.jpg"), projectShot(fisheye, 180.0, 0.0, 0.0, "d.jpg")};
}

class LensOpening : public ControllerFixture<> {
 protected:
  // The photographs of `photos` (JPEG) and the project text `text` as `name`.
  std::string writeProject(const std::vector<ProjectPhoto>& photos, const std::string& text,
                           const std::string& name) {
    for (const ProjectPhoto& photo : photos) {
      cv::Mat image;
      std::string error;
      EXPECT_TRUE(renderProjectPhoto(smoothScene(), photo, &image, &error)) << error;
      EXPECT_TRUE(cv::imwrite(dir.file(photo.fileName), image));
    }
    writeFile(dir.path() / name, text);
    return dir.file(name);
  }

  const GeneralCamera& cameraOf(int id) { return *controller->panorama()->findById(id)->camera; }
};

// Replaces the first occurrence of `from` after position `at` in `text`.
std::string replaced(std::string text, const std::string& from, const std::string& to,
                     std::size_t at = 0) {
  const std::size_t found = text.find(from, at);
  if (found != std::string::npos) text.replace(found, from.size(), to);
  return text;
}

}  // namespace

// The information names the project, how many photographs it shows and its
// projections; each lens photograph's preview has two pixels per degree of
// its longer side (at least 100).
TEST_F(LensOpening, ProjectIsNamedAndPreviewsFollowTheField) {
  const std::vector<ProjectPhoto> photos = fourPhotos();
  ASSERT_EQ(controller->openPanorama(writeProject(photos, projectText(photos), "p.pto").c_str()), 0);
  EXPECT_EQ(window.infoText(), "Projekt: 4 Fotos\nProjektionen: geradlinig, Fischauge (kreisförmig)");
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "LUT.jpg"));
  const PicManager& opened = *controller->panorama();
  ASSERT_EQ(opened.pictureCount, 4);
  EXPECT_EQ(opened.findById(0)->preview.cols, 120);  // 60 degrees
  EXPECT_EQ(opened.findById(0)->preview.rows, 90);
  EXPECT_EQ(opened.findById(3)->preview.cols, 380);  // 190 degrees
}

// Disabled photographs are left out, a type 4 mask hides its inside on every
// photograph of its lens (a type 0 mask only on its own), the response curve
// is not looked at.
TEST_F(LensOpening, DisabledPhotographsLensMasksAndResponse) {
  const std::vector<ProjectPhoto> photos = fourPhotos();
  std::string text = projectText(photos);
  const std::size_t second = text.find("#-hugin", text.find("#-hugin") + 1);
  text = replaced(text, "cropFactor=1\n", "cropFactor=1 disabled\n", second);
  text = replaced(text, "Ra0 Rb0", "Ra0.5 Rb-1.25");
  text += "k i0 t4 p\"10 10 100 10 100 100\"\n";
  text += "k i0 t0 p\"200 200 300 200 300 300\"\n";
  ASSERT_EQ(controller->openPanorama(writeProject(photos, text, "masks.pto").c_str()), 0);
  EXPECT_EQ(window.infoText(),
            "Projekt: 3 Fotos (1 ausgeschaltet)\nProjektionen: geradlinig, Fischauge (kreisförmig)");
  ASSERT_EQ(controller->panorama()->pictureCount, 3);
  // Picture 1 is the third photograph (the second is disabled).
  EXPECT_EQ(cameraOf(1).lens.lens.hfovDegrees, 60.0);
  EXPECT_EQ(cameraOf(0).lens.masks.size(), 2u);
  ASSERT_EQ(cameraOf(1).lens.masks.size(), 1u) << "the lens-wide mask only";
  EXPECT_EQ(cameraOf(1).lens.lens.masks[0].type, 4);
  EXPECT_EQ(cameraOf(2).lens.masks.size(), 0u) << "another lens";
  double column = 50.0;
  double row = 30.0;
  EXPECT_FALSE(seesPosition(cameraOf(1).lens, &column, &row));
}

// A file that is no panorama of its kind is refused with the kind's German
// message, the reader's reason as a second paragraph, and leaves the open
// panorama open; a missing one gets the kind's own message.
TEST_F(LensOpening, RefusalsKeepTheOpenPanorama) {
  ASSERT_NO_FATAL_FAILURE(openSample());
  const PicManager* opened = controller->panorama();
  const std::vector<ProjectPhoto> photos = fourPhotos();
  const std::string good = writeProject(photos, projectText(photos), "good.pto");
  writeFile(dir.path() / "empty.pto", "# nothing but a comment\n");
  writeFile(dir.path() / "sheared.pto", replaced(readWholeFile(good), " g0 ", " g0.25 "));
  writeFile(dir.path() / "lost.pto", replaced(readWholeFile(good), "n\"a.jpg\"", "n\"gone.jpg\""));
  struct Case {
    std::string file;
    int result;
    std::string message;  // the message's first paragraph
    const char* reason;   // a part of the reason paragraph
  };
  const Case cases[] = {
      {"empty.pto", -1, "Fehler beim Lesen der Projektdatei!\n\n", "keine Bilder"},
      {"sheared.pto", -1, "Fehler beim Lesen der Projektdatei!\n\n", "Scherung"},
      {"lost.pto", -1, "Fehler beim Lesen der Projektdatei!\n\n", "gone.jpg"},
      {"a.jpg", -1, "Fehler beim Lesen des 360°-Fotos!\n\n", "2:1"},
      {"missing.pto", -3, "Projektdatei existiert nicht oder konnte nicht geöffnet werden!\n\n",
       "existiert nicht"},
      {"missing.JPG", -3, "360°-Foto existiert nicht oder konnte nicht geöffnet werden!\n\n",
       "existiert nicht"},
      {"missing.xml", -3, std::string(kMissingText) + "\n\n", "existiert nicht"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(controller->openPanorama(dir.file(c.file).c_str()), c.result);
    const std::string shown = window.errors().back();
    EXPECT_EQ(shown.rfind(c.message, 0), 0u) << shown;
    EXPECT_NE(shown.find(c.reason, c.message.size()), std::string::npos) << shown;
    EXPECT_EQ(controller->panoramaPath(), sample().description);
    EXPECT_EQ(controller->panorama(), opened);
  }
  // The good project replaces it.
  ASSERT_EQ(controller->openPanorama(good.c_str()), 0);
  EXPECT_EQ(controller->panoramaPath(), good);
  EXPECT_EQ(controller->panorama()->pictureCount, 4);
}

// The sound overlay lies over a project's view as over a description's: half
// transparent, the display is the mean of the view and the sound image.
TEST_F(LensOpening, SoundOverlayLiesOverTheProjectsView) {
  const std::vector<ProjectPhoto> photos = fourPhotos();
  ASSERT_EQ(controller->openPanorama(writeProject(photos, projectText(photos), "p.pto").c_str()), 0);
  const cv::Mat view = controller->displayImage();
  ASSERT_EQ(controller->openSoundData(writeOneSoundSet().c_str()), 0);
  controller->setTransValue(50);
  const cv::Mat shown = controller->displayImage();
  ASSERT_EQ(shown.size(), view.size());
  EXPECT_GT(meanDifference(shown, view), 5.0) << "the sound layer shows";
  // Another camera: the view and the layer follow it together.
  controller->setCameraData(0.4, 1.7, 30.0);
  EXPECT_FALSE(sameImage(controller->displayImage(), shown));
  EXPECT_EQ(controller->soundSetCount(), 1);
}
