#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class PicManager;
class Picture;
struct GeneralCamera;

// Paints the view from the photographs that overlap it, blending every
// photograph that covers a pixel with its weight at the sampled point.
//
// The description's photographs (pinholes) share one Gaussian weight map.
// A lens panorama (a stitcher project or a 360-degree photograph: picture 0
// has a general camera) weights each sample with its lens' blendWeight,
// corrects its brightness to the panorama's exposure and lets include masks
// win; it starts its sums far below the smallest weight and rounds, so that
// every direction a photograph covers shows it at full strength and every
// other the background (1, 1, 1).
class Puzzler {
 public:
  // Builds the weight map for the full size of picture 0 and writes it as
  // "LUT.jpg" in the working directory; for a lens panorama the weight image
  // is picture 0's blend weights at its size, scaled down to at most 1024
  // pixels on the longer side. Throws std::invalid_argument when the
  // panorama has no picture 0.
  Puzzler(const std::string& weightKind, PicManager* panorama);

  // Writes the view picture's image from the first `count` records of its
  // overlap list. fv is the camera's focal length in view pixels. Returns
  // whether it wrote the image: false for no view, a view image of another
  // size, or a photograph whose image changed while it was taken, and then
  // the view's image is left as it was.
  bool puzzleTogether(int count, int viewWidth, int viewHeight, Picture* view, double azimuth,
                      double altitude, double fv);

  // Fills weightMap for weightKind at w0 x h0: a Gaussian that is 1 at the
  // centre and the profile's corner weight at the corners, or 1 everywhere
  // for an unknown profile name. Only the upper-left quadrant is stored
  // (w0 / 2 + 1 by h0 / 2 + 1); weightAt reads any position.
  void buildWeightMap();
  // The weight at full-size pixel (column, row), 0 <= column < w0,
  // 0 <= row < h0: the profile's mirror image for the description's
  // panoramas, the weight image itself for lens panoramas.
  float weightAt(int column, int row) const;
  // Writes the map as an 8-bit grey image "LUT.jpg" (255 x weight, truncated).
  void saveWeightMap() const;

  // Fills weightMap (w0 x h0, scaled down as the constructor says) with the
  // blend weights of `camera`'s lens at the pixel centres.
  void buildLensWeightImage(const GeneralCamera& camera);

  std::string weightKind;
  bool lensSession = false;
  std::vector<float> weightMap;  // row-major, see buildWeightMap and weightAt
  int w0 = 0;
  int h0 = 0;
  // Most threads one assembly draws with; 0 chooses from the machine's cores.
  // Any value gives the same image.
  unsigned maxThreads = 0;

 private:
  int weightColumns_ = 0;  // stored columns and rows of weightMap
  int weightRows_ = 0;
  // The weight of every pixel of a current image of width x height pixels
  // of `photo` (exactly the full-size map's entry the axis tables pick), kept
  // for photographs of the same size and scale; nullptr for large images,
  // which read the map through their axis tables.
  std::shared_ptr<const std::vector<float>> pixelWeights(const Picture& photo, int width,
                                                         int height);

  struct PixelWeights {
    int width;
    int height;
    int fullWidth;
    int fullHeight;
    double scaleX;
    double scaleY;
    std::shared_ptr<const std::vector<float>> weights;
  };
  std::mutex pixelWeightsMutex_;
  std::vector<PixelWeights> pixelWeights_;
  std::mutex accumulatorMutex_;  // one assembly at a time uses the bands
  // Per drawing thread: four sums per pixel for a band of view rows.
  std::vector<std::vector<float>> bandCells_;
};
