#pragma once

#include <string>

#include "SampleLayout.h"
#include "SampleProject.h"
#include "SampleScene.h"

// What the sample maker writes.
struct SampleOptions {
  std::string directory = "sample";
  int photoWidth = 3000;
  int photoHeight = 2000;
  int focalLength = 18;  // whole millimetres, as the description stores them
  SampleLayout layout = SampleLayout::standard();
  std::string fromImage;  // an equirectangular image instead of the built-in scene
  int soundColumns = 360;
  int soundRows = 180;
  // Standard deviation of the sensor-like grain added to every photograph,
  // in grey levels (0: none, the smooth rendering as it is).
  double grain = 0.0;

  // What describes the photographs: the XML description, or a stitcher
  // project ("panorama.pto") whose photographs are rendered through its
  // lens (projection, field, distortion, shift, roll, exposure).
  bool project = false;
  int projection = 0;        // the project's projection code of every photograph
  double hfov = 0.0;         // degrees across the width; 0: the focal length's rectilinear field
  double distortion[3] = {0.0, 0.0, 0.0};  // a, b, c
  double shift[2] = {0.0, 0.0};            // d, e in pixels
  double roll = 0.0;                       // degrees, every photograph
  // Exposure values: the even photographs get 0, the odd ones this (darker).
  double exposureSpread = 0.0;
  // A 360-degree photograph "panorama360.jpg" instead of photographs (with
  // the sound data): the whole panorama equirectWidth x equirectWidth / 2
  // pixels, of which `equirect` tells the part written and its metadata.
  int equirectWidth = 0;
  EquirectCrop equirect;

  // The focal length in photograph pixels (the photograph pixel pitch is
  // 1/127.4 mm).
  double focalPixels() const;
  // A quick sample for tests: 660 x 440 photographs at 4 mm (about the
  // default's 66 x 47 degrees), the standard layout, 72 x 36 sound grids.
  static SampleOptions small(const std::string& directory);
};

// Writes a complete panorama directory: "panorama.xml", one JPEG file per
// photograph named by its ID, and "sound/" with one CSV file per sound set.
// The description gives the sensor as the photographs' pixel size times the
// photograph pixel pitch, so a photograph's plane is the same whether the
// overlap computation takes it from the sensor or from its pixels.
class SampleWriter {
 public:
  static constexpr const char* kDescriptionName = "panorama.xml";
  static constexpr const char* kProjectName = "panorama.pto";
  static constexpr const char* kPhoto360Name = "panorama360.jpg";
  static constexpr const char* kSoundDirectory = "sound";

  explicit SampleWriter(SampleOptions options);

  // The scene to photograph: the image of `fromImage`, or else the built-in
  // scene at the resolution the photographs need.
  bool makeScene(SampleScene* scene, std::string* error) const;
  // Checks the options, then writes everything; false with a reason.
  bool write(const SampleScene& scene, std::string* error) const;
  // makeScene, then write.
  bool run(std::string* error) const;

  std::string descriptionPath() const;
  // The file the viewer opens: the description, the project or the
  // 360-degree photograph.
  std::string panoramaPath() const;
  // The project's photographs (options.project), in the layout's order.
  std::vector<ProjectPhoto> projectPhotos() const;
  const SampleOptions& options() const { return options_; }

 private:
  bool check(std::string* error) const;
  bool writeDescription(std::string* error) const;
  bool writePhotographs(const SampleScene& scene, std::string* error) const;

  SampleOptions options_;
};

// The photograph with sensor-like grain: Gaussian noise of standard deviation
// `sigma` grey levels, drawn for every pixel and channel on its own, added and
// rounded to the nearest level, clipped to 0 ... 255. The noise depends only
// on `id` (the photograph ID) and the image size, so every run writes the same
// photographs. A sigma of 0 or less gives `photo` itself.
cv::Mat withGrain(const cv::Mat& photo, double sigma, int id);

// Writes SampleOptions::small(directory) with the built-in scene; the scene
// goes to `scene` when given, for comparing views with it.
bool writeSmallSample(const std::string& directory, std::string* error, SampleScene* scene = nullptr);
