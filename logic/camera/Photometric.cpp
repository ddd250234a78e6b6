#include "camera/Photometric.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

bool fail(std::string* error, const std::string& reason) {
  if (error) *error = reason;
  return false;
}

}  // namespace

double linearToSrgb(double linear) {
  const double v = std::clamp(linear, 0.0, 1.0);
  return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

double srgbToLinear(double encoded) {
  const double v = std::clamp(encoded, 0.0, 1.0);
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

const uint8_t* PhotometricCorrection::curve() {
  static const std::array<uint8_t, kCurveSteps + 1> table = [] {
    std::array<uint8_t, kCurveSteps + 1> t{};
    for (int i = 0; i <= kCurveSteps; ++i) {
      t[i] = static_cast<uint8_t>(std::lround(255.0 * linearToSrgb(double(i) / kCurveSteps)));
    }
    return t;
  }();
  return table.data();
}

bool PhotometricCorrection::build(const PhotometricParams& params, int width, int height,
                                  double outputExposure, std::string* error) {
  if (width <= 0 || height <= 0) return fail(error, "picture size is not positive");
  const double values[] = {params.exposureValue,
                           params.redBalance,
                           params.blueBalance,
                           params.va,
                           params.vb,
                           params.vc,
                           params.vd,
                           params.vx,
                           params.vy,
                           outputExposure};
  for (double v : values) {
    if (!std::isfinite(v)) return fail(error, "a brightness value is not finite");
  }
  if (params.redBalance <= 0.0 || params.blueBalance <= 0.0) {
    return fail(error, "white balance is not positive");
  }
  const double gain = std::exp2(params.exposureValue - outputExposure);
  if (!std::isfinite(gain) || gain <= 0.0) return fail(error, "exposure is out of range");

  // Vignetting: r^2 = columnPart[x] + rowPart[y], tabulated over [0, largest r^2].
  const bool vignetting = params.vignettingMode == 5 && !(params.va == 1.0 && params.vb == 0.0 &&
                                                          params.vc == 0.0 && params.vd == 0.0);
  std::vector<float> columnTerm(width, 0.0f);
  std::vector<float> rowTerm(height, 0.0f);
  std::vector<float> inverseV(1, 1.0f);
  if (vignetting) {
    const double halfDiagonalSquared = 0.25 * (double(width) * width + double(height) * height);
    const double cx = (width - 1) / 2.0 + params.vx;
    const double cy = (height - 1) / 2.0 + params.vy;
    const double maxColumn = std::max(cx * cx, (width - 1 - cx) * (width - 1 - cx));
    const double maxRow = std::max(cy * cy, (height - 1 - cy) * (height - 1 - cy));
    const double largest = (maxColumn + maxRow) / halfDiagonalSquared;
    const double toSteps = largest > 0.0 ? kVignettingSteps / largest : 0.0;
    for (int x = 0; x < width; ++x) {
      columnTerm[x] = static_cast<float>((x - cx) * (x - cx) / halfDiagonalSquared * toSteps);
    }
    for (int y = 0; y < height; ++y) {
      rowTerm[y] = static_cast<float>((y - cy) * (y - cy) / halfDiagonalSquared * toSteps);
    }
    inverseV.assign(kVignettingSteps + 2, 1.0f);
    for (int i = 0; i <= kVignettingSteps + 1; ++i) {
      const double r2 = toSteps > 0.0 ? std::min(i, kVignettingSteps) / toSteps : 0.0;
      const double v = params.va + r2 * (params.vb + r2 * (params.vc + r2 * params.vd));
      if (!(v > 0.0) || !std::isfinite(1.0 / v)) {
        return fail(error, "vignetting is not positive everywhere in the picture");
      }
      inverseV[i] = static_cast<float>(1.0 / v);
    }
  }

  const double balance[3] = {params.greyscale ? 1.0 : params.redBalance, 1.0,
                             params.greyscale ? 1.0 : params.blueBalance};
  for (int c = 0; c < 3; ++c) {
    for (int p = 0; p < 256; ++p) {
      linear_[c][p] = static_cast<float>(srgbToLinear(p / 255.0) * gain / balance[c] * kCurveSteps);
    }
  }
  columnTerm_ = std::move(columnTerm);
  rowTerm_ = std::move(rowTerm);
  inverseV_ = std::move(inverseV);
  identity_ = gain == 1.0 && balance[0] == 1.0 && balance[2] == 1.0 && !vignetting;
  return true;
}
