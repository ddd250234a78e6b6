#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "SampleScene.h"
#include "camera/LensModel.h"

// Stitcher projects (".pto") and 360-degree photographs (equirectangular
// JPEGs) of a sample scene. Every photograph is rendered through the exact
// lens camera the viewer builds from the file (SampleScene::renderThrough),
// so that it is the ground truth of what the file says.

// One photograph of a sample project.
struct ProjectPhoto {
  Lens lens;  // size, projection, field, distortion, shift, crop, masks
  // Orientation in degrees, the project's sense: +yaw turns right, +pitch
  // looks up, +roll turns the picture clockwise.
  double yaw = 0.0;
  double pitch = 0.0;
  double roll = 0.0;
  // Exposure value: the photograph is rendered 2^-eev times the scene's
  // light (through the sRGB curve), so one of a higher value is darker.
  double exposureValue = 0.0;
  std::string fileName;  // beside the project
};

// The 256 photograph values of the scene values 0 ... 255 at exposure value
// `eev`: 255 g(g^-1(v / 255) 2^-eev), g the sRGB curve, rounded.
std::array<std::uint8_t, 256> exposureTone(double eev);

// The lines before a sample project's photographs: a comment, a "p" line
// for an equirectangular picture of the whole sphere and an "m" line.
extern const char* const kSampleProjectHead;

// The project text: `head` (the "p" line and whatever goes before the
// photographs), for every photograph a "#-hugin" and an "i" line (all tokens
// the stitcher writes, numbers with "." and 17 digits) and its masks as "k"
// lines.
std::string projectText(const std::vector<ProjectPhoto>& photos,
                        const std::string& head = kSampleProjectHead);

// The photograph `photo` shows of `scene`; false with a reason when its lens
// is unusable.
bool renderProjectPhoto(const SampleScene& scene, const ProjectPhoto& photo, cv::Mat* image,
                        std::string* error);

// Renders and writes every photograph (JPEG quality `quality`) into
// `directory` and then the project file `projectPath`; false with a reason.
bool writeProject(const std::string& directory, const std::string& projectPath,
                  const SampleScene& scene, const std::vector<ProjectPhoto>& photos, int quality,
                  std::string* error);

// Which part of the whole sphere a 360-degree photograph holds: the whole
// panorama is fullWidth x fullWidth / 2 pixels, the photograph its part
// [left, left + width) x [top, top + height). `metadata` adds the GPano XMP
// packet that says so (a cropped photograph always has it).
struct EquirectCrop {
  int fullWidth = 4000;
  int left = 0;
  int top = 0;
  int width = 0;   // 0: fullWidth
  int height = 0;  // 0: fullWidth / 2
  bool metadata = false;
};

// The lens of such a photograph (equirectangular, the full panorama's centre
// column at azimuth 0, its top row straight up), as the viewer sees it.
Lens equirectLens(const EquirectCrop& crop);

// Renders the 360-degree photograph of `scene` and writes it to `path`
// (JPEG quality `quality`, with the GPano packet when asked); false with a
// reason.
bool writeEquirect(const std::string& path, const SampleScene& scene, const EquirectCrop& crop,
                   int quality, std::string* error);

// `jpeg` (a complete JPEG file) with an XMP APP1 segment holding `xmp`
// inserted after the start marker and a JFIF segment if one follows it.
std::vector<std::uint8_t> withXmp(const std::vector<std::uint8_t>& jpeg, const std::string& xmp);
