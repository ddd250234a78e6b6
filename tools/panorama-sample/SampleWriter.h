#pragma once

#include <string>

#include "SampleLayout.h"
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
  const SampleOptions& options() const { return options_; }

 private:
  bool check(std::string* error) const;
  bool writeDescription(std::string* error) const;

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
