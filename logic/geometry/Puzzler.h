#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

class PicManager;
class Picture;

// Paints the view from the photographs that overlap it, blending every
// photograph that covers a pixel with its weight at the sampled point.
class Puzzler {
 public:
  // Builds the weight map for the full size of picture 0 and writes it as
  // "LUT.jpg" in the working directory. Throws std::invalid_argument when the
  // panorama has no picture 0.
  Puzzler(const std::string& weightKind, PicManager* panorama);

  // Writes the view picture's image from the first `count` records of its
  // overlap list. fv is the camera's focal length in view pixels.
  void puzzleTogether(int count, int viewWidth, int viewHeight, Picture* view, double azimuth,
                      double altitude, double fv);

  // Fills weightMap for weightKind at w0 x h0: a Gaussian that is 1 at the
  // centre and the profile's corner weight at the corners, or 1 everywhere
  // for an unknown profile name.
  void buildWeightMap();
  // Writes the map as an 8-bit grey image "LUT.jpg" (255 x weight, truncated).
  void saveWeightMap() const;

  std::string weightKind;
  std::vector<float> weightMap;  // w0 x h0, row-major
  int w0 = 0;
  int h0 = 0;
  // Most threads one assembly draws with; 0 chooses from the machine's cores.
  // Any value gives the same image.
  unsigned maxThreads = 0;

 private:
  std::mutex accumulatorMutex_;
  std::vector<float> accumulator_;  // four sums per view pixel, one assembly at a time
};
