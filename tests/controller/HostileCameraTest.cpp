// The controller refuses cameras that cannot be drawn and shows why it
// refuses files. Uses only PanController's public face and tests/support.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

#include <opencv2/core.hpp>

#include "controller/PanController.h"
#include "support/RecordingGui.h"
#include "support/TempDir.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A sound directory "name" with one set of cols x rows cells, all `value`.
void writeSound(const std::string& name, int cols, int rows, const std::string& value) {
  std::filesystem::create_directory(name);
  std::ofstream out(name + "/set.csv", std::ios::binary);
  out << cols << "X" << rows << "\nset\n";
  for (int r = 0; r < rows; ++r) {
    for (int k = 0; k < cols; ++k) out << (k == 0 ? "" : ",") << value;
    out << "\n";
  }
}

int countLines(const std::string& text, const std::string& line) {
  int count = 0;
  for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++count;
  return count;
}

struct BadCamera {
  const char* name;
  double azimuth;
  double altitude;
  double f;
};

// Cameras in radians and millimetres that no view can be drawn for.
const BadCamera kBadCameras[] = {
    {"NaN azimuth", kNaN, 1.0, 50.0},
    {"infinite altitude", 0.5, kInf, 50.0},
    {"altitude of 1e308 degrees", 0.5, 1e308 * kPi, 50.0},
    {"azimuth beyond a million degrees", 17453.3, 1.0, 50.0},
    {"NaN focal length", 0.5, 1.0, kNaN},
    {"infinite focal length", 0.5, 1.0, kInf},
    {"zero focal length", 0.5, 1.0, 0.0},
    {"negative focal length", 0.5, 1.0, -50.0},
    {"focal length that makes the centre ray 0/0", 0.5, 1.0, 3e-308},
};

}  // namespace

TEST(HostileCamera, SetCameraDataIgnoresCamerasThatCannotBeDrawn) {
  TempDir dir;
  writeSound("sound", 36, 18, "0.5000");
  RecordingGui window(160, 120);
  PanController controller(&window, 50.0, kPi / 2, 0.0);
  ASSERT_EQ(controller.openSoundData("sound"), 0);
  controller.setCameraData(1.0, 1.2, 40.0);
  const CamData start = controller.camera();
  const cv::Mat shown = controller.displayImage();
  ASSERT_FALSE(shown.empty());

  for (const BadCamera& bad : kBadCameras) {
    controller.setCameraData(bad.azimuth, bad.altitude, bad.f);
    const CamData now = controller.camera();
    EXPECT_EQ(now.azimuth, start.azimuth) << bad.name;
    EXPECT_EQ(now.altitude, start.altitude) << bad.name;
    EXPECT_EQ(now.f, start.f) << bad.name;
    EXPECT_EQ(cv::norm(controller.displayImage(), shown, cv::NORM_INF), 0.0) << bad.name;
  }
  EXPECT_EQ(countLines(readWholeFile("vemraLogic.log"), "unusable camera ignored"),
            static_cast<int>(std::size(kBadCameras)));

  // The widest and the farthest a camera may go are drawn.
  controller.setCameraData(17453.2, -17453.2, 0.2);
  EXPECT_EQ(controller.camera().f, 0.2);
  EXPECT_EQ(controller.camera().azimuth, 17453.2);
  controller.close();
}

TEST(HostileCamera, AnUnusableStartCameraLeavesTheDefaultOne) {
  TempDir dir;
  const CamData standard;
  for (const BadCamera& bad : kBadCameras) {
    RecordingGui window(160, 120);
    PanController controller(&window, bad.f, bad.altitude, bad.azimuth);
    const CamData camera = controller.camera();
    EXPECT_EQ(camera.azimuth, standard.azimuth) << bad.name;
    EXPECT_EQ(camera.altitude, standard.altitude) << bad.name;
    EXPECT_EQ(camera.f, standard.f) << bad.name;
    controller.close();
  }
}

TEST(HostileCamera, RefusedFilesShowTheFixedMessageAndTheReasonAndChangeNothing) {
  TempDir dir;
  writeSound("sound", 4, 2, "0.2500");
  writeSound("loud", 2, 1, "10.5000");
  ASSERT_EQ(::mkfifo("pipe.xml", 0600), 0);
  std::ofstream("comma.xml") << "<p><c>1</c><cam><l><n>x</n><f>18</f></l><s><w>23.6</w><h>15.8</h>"
                                "</s></cam>\n<q><v>0</v><v>80,9</v><v>0</v><v>0</v><v>0</v><v>30</v>"
                                "<v>40</v></q></p>\n";
  RecordingGui window(160, 120);
  PanController controller(&window, 50.0, kPi / 2, 0.0);
  ASSERT_EQ(controller.openSoundData("sound"), 0);

  EXPECT_EQ(controller.openPanorama("pipe.xml"), -3);
  EXPECT_EQ(window.errors().back(),
            "XML-Datei existiert nicht oder konnte nicht geoeffnet werden!\n\n„pipe.xml“ ist keine "
            "gewöhnliche Datei (Verzeichnis, Pipe oder Gerät).");
  EXPECT_EQ(controller.openPanorama("comma.xml"), -1);
  EXPECT_EQ(window.errors().back(),
            "Fehler beim lesen der XML-Datei!\n\nElement 2 der Fotogruppe 1 (Zeile 2): „80,9“ ist "
            "keine Zahl.");
  EXPECT_EQ(controller.openSoundData("loud"), -3);  // a value outside the format
  EXPECT_EQ(window.errors().back(),
            "Fehler beim Laden der Tondaten!!!\n\nDatei „loud/set.csv“, Zeile 3, Wert 1: „10.5000“ "
            "ist kein Tonwert der Form 0.1234 (eine Ziffer, Dezimalpunkt, Nachkommastellen).");
  EXPECT_EQ(controller.panorama(), nullptr);
  EXPECT_TRUE(controller.soundLoaded());
  EXPECT_EQ(controller.soundSetCount(), 1);
  controller.close();
}
