#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The stitcher's brightness model for one photograph of a project. For the
// 8-bit value p of channel c at pixel (x, y):
//   L = g^-1(p / 255) * 2^(Eev - E) / (V(x, y) * W_c),   W = (Er, 1, Eb)
//   out = round(255 * g(min(L, 1)))
// with g the sRGB curve (standing in for the project's response curve; its
// Ra..Re coefficients are not used), E the output exposure value, and the
// radial vignetting V = Va + Vb r^2 + Vc r^4 + Vd r^6, r the distance from
// ((w - 1) / 2 + Vx, (h - 1) / 2 + Vy) (pixel centres at whole numbers)
// divided by the half diagonal sqrt((w/2)^2 + (h/2)^2). Only vignetting
// mode 5 (radial, divide) is corrected; greyscale photographs ignore the
// white balance.

struct PhotometricParams {
  double exposureValue = 0.0;  // Eev
  double redBalance = 1.0;     // Er
  double blueBalance = 1.0;    // Eb
  double va = 1.0;             // vignetting polynomial
  double vb = 0.0;
  double vc = 0.0;
  double vd = 0.0;
  double vx = 0.0;  // vignetting centre offset, pixels
  double vy = 0.0;
  int vignettingMode = 5;  // Vm
  bool greyscale = false;
};

// The sRGB curve: linear light in [0, 1] to an encoded value in [0, 1],
// and back. Inputs are clamped into [0, 1].
double linearToSrgb(double linear);
double srgbToLinear(double encoded);

// Lookup tables that correct the 8-bit samples of one photograph. Built
// once per photograph (a few kilobytes plus a float per row and column);
// correcting costs a few lookups and a multiply, no allocation, and is safe
// from many threads at once.
class PhotometricCorrection {
 public:
  // Entries of the shared curve table from linear light to 8 bits.
  static constexpr int kCurveSteps = 1 << 16;
  // Steps of the vignetting table over r^2.
  static constexpr int kVignettingSteps = 4096;

  // Tables for a width x height photograph shown at output exposure value
  // `outputExposure`. On bad values (size not positive, values not finite,
  // white balance not positive, vignetting not positive somewhere in the
  // picture) returns false with an English reason and leaves this unchanged.
  bool build(const PhotometricParams& params, int width, int height, double outputExposure,
             std::string* error);

  // True when correcting changes nothing (same exposure, neutral white
  // balance, no vignetting): callers may skip the photograph.
  bool identity() const { return identity_; }

  // Corrected value of channel `channel` (0 red, 1 green, 2 blue) of pixel
  // (x, y); x and y must lie inside the photograph.
  uint8_t correct(int channel, uint8_t value, int x, int y) const {
    return encode(linear_[channel][value] * inverseVignetting(x, y));
  }

  // Corrects one pixel of an OpenCV-ordered blue, green, red triple in place.
  void correctBgr(uint8_t* bgr, int x, int y) const {
    const float v = inverseVignetting(x, y);
    bgr[0] = encode(linear_[2][bgr[0]] * v);
    bgr[1] = encode(linear_[1][bgr[1]] * v);
    bgr[2] = encode(linear_[0][bgr[2]] * v);
  }

  // Corrects a greyscale sample (no white balance).
  uint8_t correctGrey(uint8_t value, int x, int y) const {
    return encode(linear_[1][value] * inverseVignetting(x, y));
  }

  // 1 / V at pixel (x, y).
  float inverseVignetting(int x, int y) const {
    return inverseV_[static_cast<int>(columnTerm_[x] + rowTerm_[y] + 0.5f)];
  }

 private:
  // Linear light, already in curve-table steps, to 8 bits (clamped).
  static uint8_t encode(float steps) {
    const int index = steps >= kCurveSteps ? kCurveSteps : static_cast<int>(steps + 0.5f);
    return curve()[index];
  }
  // round(255 g(i / kCurveSteps)) for i = 0 ... kCurveSteps, built once.
  static const uint8_t* curve();

  // g^-1(p / 255) * 2^(Eev - E) / W_c * kCurveSteps per channel and value.
  float linear_[3][256] = {};
  // r^2 split into column and row parts, in vignetting-table steps.
  std::vector<float> columnTerm_ = {0.0f};
  std::vector<float> rowTerm_ = {0.0f};
  std::vector<float> inverseV_ = {1.0f};
  bool identity_ = true;
};
