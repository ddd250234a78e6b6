#include "SampleScene.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "base/Constants.h"
#include "base/ParallelFor.h"
#include "camera/PhotoCamera.h"

namespace {

constexpr double kDegree = kPi / 180.0;

// Colours are blue, green, red.
const cv::Vec3b kHorizonSky(250, 222, 185);
const cv::Vec3b kZenithSky(150, 62, 18);
const cv::Vec3b kNearGround(72, 150, 84);
const cv::Vec3b kFarGround(44, 78, 104);
const cv::Vec3b kHorizon(25, 25, 25);
const cv::Vec3b kSkyLine(255, 255, 255);
const cv::Vec3b kGroundLine(205, 235, 235);
const cv::Vec3b kLabelText(255, 255, 255);
const cv::Vec3b kLabelBox(60, 45, 40);

cv::Vec3b mix(const cv::Vec3b& a, const cv::Vec3b& b, double t) {
  cv::Vec3b result;
  for (int i = 0; i < 3; ++i) {
    result[i] = cv::saturate_cast<uchar>(a[i] + (b[i] - a[i]) * t);
  }
  return result;
}

// The direction of (altitude, azimuth) in degrees, in the frame's convention.
Vec3 direction(double altitude, double azimuth) {
  return viewFrame(altitude * kDegree, azimuth * kDegree, 1.0, 1.0, 1.0).d;
}

struct Landmark {
  double altitude;  // degrees, 90 at the horizon
  double azimuth;   // degrees, growing to the left
  double radius;    // degrees
  cv::Vec3b colour;
};

// Discs that one can steer by. The red one lies straight ahead of the start
// camera, where the first sound set has its source.
const Landmark kLandmarks[] = {
    {90.0, 0.0, 4.0, cv::Vec3b(40, 40, 230)},      // red, ahead
    {60.0, 60.0, 6.0, cv::Vec3b(30, 140, 255)},    // orange, on the ground ahead left
    {100.0, 90.0, 3.0, cv::Vec3b(40, 200, 40)},    // green, left
    {150.0, 150.0, 5.0, cv::Vec3b(60, 230, 250)},  // yellow sun, high behind left
    {105.0, 180.0, 3.5, cv::Vec3b(200, 60, 200)},  // magenta, behind
    {120.0, 300.0, 4.0, cv::Vec3b(230, 220, 40)},  // cyan, above the horizon right
};

// A vertical bar (a tower) behind on the right, from below to above the horizon.
constexpr double kTowerAzimuth = 240.0;
constexpr double kTowerHalfWidth = 1.5;
constexpr double kTowerBottom = 80.0;
constexpr double kTowerTop = 115.0;
const cv::Vec3b kTower(120, 40, 110);

// Distance in degrees from `value` to the nearest multiple of `step`, and that multiple.
double offGrid(double value, double step, double* nearest) {
  *nearest = step * std::round(value / step);
  return std::fabs(value - *nearest);
}

// The built-in colour of the cell at (polar angle, azimuth) in degrees; v is
// its unit direction and `line` the half width of a grid line in degrees.
cv::Vec3b builtInColour(double polar, double azimuth, const Vec3& v, double line) {
  const double altitude = 180.0 - polar;
  const double elevation = altitude - 90.0;
  const double sinPolar = std::sin(polar * kDegree);

  struct Disc {
    Vec3 centre;
    double cosRadius;
    double cosInner;  // inside the dark rim
    cv::Vec3b colour;
  };
  static const std::vector<Disc> discs = [] {
    std::vector<Disc> made;
    for (const Landmark& mark : kLandmarks) {
      made.push_back({direction(mark.altitude, mark.azimuth), std::cos(mark.radius * kDegree),
                      std::cos((mark.radius - 0.4) * kDegree), mark.colour});
    }
    return made;
  }();
  for (const Disc& disc : discs) {
    const double cosAngle = dot(v, disc.centre);
    if (cosAngle > disc.cosRadius) {
      return cosAngle < disc.cosInner ? kHorizon : disc.colour;
    }
  }
  double towerLine = 0.0;
  const double towerOff = offGrid(azimuth - kTowerAzimuth, 360.0, &towerLine) * sinPolar;
  if (towerOff < kTowerHalfWidth && altitude > kTowerBottom && altitude < kTowerTop) {
    const bool band = static_cast<int>(std::floor(altitude / 5.0)) % 2 == 0;
    return band ? kTower : mix(kTower, cv::Vec3b(255, 255, 255), 0.5);
  }
  if (polar < 0.8) {
    return cv::Vec3b(255, 255, 255);  // a white dot straight up
  }
  if (polar > 179.2) {
    return cv::Vec3b(0, 0, 0);  // a black dot straight down
  }
  if (std::fabs(elevation) < 2.0 * line) {
    return kHorizon;
  }

  cv::Vec3b colour;
  if (elevation > 0.0) {
    colour = mix(kHorizonSky, kZenithSky, std::pow(elevation / 90.0, 0.7));
  } else {
    colour = mix(kNearGround, kFarGround, -elevation / 90.0);
    const int cell = static_cast<int>(std::floor(azimuth / 10.0)) + static_cast<int>(std::floor(elevation / 5.0));
    if (cell % 2 != 0) {
      colour = mix(colour, cv::Vec3b(0, 0, 0), 0.12);
    }
  }
  const cv::Vec3b lineColour = elevation > 0.0 ? kSkyLine : kGroundLine;
  double nearest = 0.0;
  if (offGrid(altitude, 15.0, &nearest) < line) {
    return mix(colour, lineColour, 0.75);
  }
  const double azimuthOff = offGrid(azimuth, 15.0, &nearest) * sinPolar;
  const bool major = std::fmod(nearest + 360.0, 90.0) == 0.0;
  if (std::fabs(elevation) < 82.0 && azimuthOff < (major ? 2.0 * line : line)) {
    return mix(colour, lineColour, 0.75);
  }
  return colour;
}

// Writes `text` centred on (altitude, azimuth) in degrees: a box of
// `height` degrees, widened by 1 / sin(polar angle) so that it keeps its shape
// on the sphere, and mirrored so that it reads correctly from inside.
void drawLabel(cv::Mat& scene, const std::string& text, double altitude, double azimuth, double height) {
  const double pixelsPerDegree = scene.cols / 360.0;
  const int font = cv::FONT_HERSHEY_SIMPLEX;
  const double textPixels = std::max(5.0, height * pixelsPerDegree);
  const double fontScale = textPixels / 22.0;
  const int thickness = std::max(1, static_cast<int>(std::lround(fontScale * 1.6)));
  int baseline = 0;
  const cv::Size size = cv::getTextSize(text, font, fontScale, thickness, &baseline);
  const int margin = std::max(2, size.height / 3);
  cv::Mat label(size.height + baseline + 2 * margin, size.width + 2 * margin, CV_8UC3, kLabelBox);
  cv::putText(label, text, cv::Point(margin, margin + size.height), font, fontScale,
              cv::Scalar(kLabelText[0], kLabelText[1], kLabelText[2]), thickness, cv::LINE_AA);

  const double polar = 180.0 - altitude;
  const double stretch = std::min(5.0, 1.0 / std::max(0.2, std::sin(polar * kDegree)));
  cv::resize(label, label, cv::Size(std::max(1, static_cast<int>(label.cols * stretch)), label.rows), 0,
             0, cv::INTER_LINEAR);
  cv::flip(label, label, 1);

  const int centreColumn = static_cast<int>(std::lround(azimuth / 360.0 * scene.cols));
  const int centreRow = static_cast<int>(std::lround(polar / 180.0 * scene.rows));
  const int top = centreRow - label.rows / 2;
  const int left = centreColumn - label.cols / 2;
  for (int i = 0; i < label.rows; ++i) {
    const int row = top + i;
    if (row < 0 || row >= scene.rows) continue;
    for (int j = 0; j < label.cols; ++j) {
      const int column = ((left + j) % scene.cols + scene.cols) % scene.cols;
      scene.at<cv::Vec3b>(row, column) = label.at<cv::Vec3b>(i, j);
    }
  }
}

void drawLabels(cv::Mat& scene) {
  char text[32];
  // Azimuths just above the horizon and halfway up and down.
  for (int azimuth = 0; azimuth < 360; azimuth += 15) {
    std::snprintf(text, sizeof text, "az %d", azimuth);
    drawLabel(scene, text, 96.5, azimuth, 1.6);
    if (azimuth % 45 == 0) {
      drawLabel(scene, text, 135.0, azimuth, 1.6);
      drawLabel(scene, text, 45.0, azimuth, 1.6);
    }
  }
  // Altitudes just above their lines, between the azimuth lines, four times around.
  for (int azimuth = 0; azimuth < 360; azimuth += 90) {
    for (int altitude = 15; altitude <= 165; altitude += 15) {
      if (altitude == 90) continue;
      std::snprintf(text, sizeof text, "alt %d", altitude);
      drawLabel(scene, text, altitude + 2.0, azimuth + 22.5, 1.6);
    }
  }
  drawLabel(scene, "alt 180 (up)", 172.0, 67.5, 1.6);
  drawLabel(scene, "alt 0 (down)", 8.0, 67.5, 1.6);
}

}  // namespace

SampleScene::SampleScene(cv::Mat equirectangular) : image_(std::move(equirectangular)) {}

SampleScene SampleScene::builtIn(int width) {
  width = std::clamp(width, kMinBuiltInWidth, kMaxBuiltInWidth);
  width -= width % 2;
  const int height = width / 2;
  cv::Mat image(height, width, CV_8UC3);
  const double line = std::max(0.12, 0.6 * 360.0 / width);
  std::vector<double> sinAzimuth(width);
  std::vector<double> cosAzimuth(width);
  for (int k = 0; k < width; ++k) {
    const double azimuth = (k + 0.5) * kTwoPi / width;
    sinAzimuth[k] = std::sin(azimuth);
    cosAzimuth[k] = std::cos(azimuth);
  }
  parallelRows(height, [&](int from, int to) {
    for (int r = from; r < to; ++r) {
      const double polar = (r + 0.5) * kPi / height;
      const double sinPolar = std::sin(polar);
      const double cosPolar = std::cos(polar);
      cv::Vec3b* out = image.ptr<cv::Vec3b>(r);
      for (int k = 0; k < width; ++k) {
        const Vec3 v{sinPolar * sinAzimuth[k], cosPolar, sinPolar * cosAzimuth[k]};
        out[k] = builtInColour(polar / kDegree, (k + 0.5) * 360.0 / width, v, line);
      }
    }
  });
  drawLabels(image);
  return SampleScene(image);
}

SampleScene SampleScene::builtInFor(double focalPixels) {
  const double width = focalPixels * kPi;  // half the photographs' pixels per radian, all around
  if (!(width < kMaxBuiltInWidth)) return builtIn(kMaxBuiltInWidth);
  return builtIn(static_cast<int>(width));
}

bool SampleScene::load(const std::string& path, SampleScene* scene, std::string* error) {
  cv::Mat image;
  try {
    image = cv::imread(path, cv::IMREAD_COLOR);
  } catch (const cv::Exception& e) {
    *error = "cannot read " + path + ": " + e.what();
    return false;
  }
  if (image.empty()) {
    *error = "cannot read " + path + " as an image";
    return false;
  }
  if (image.cols < 2 || image.rows < 1) {
    *error = path + " is too small for an equirectangular scene";
    return false;
  }
  *scene = SampleScene(image);
  return true;
}

cv::Vec3b SampleScene::colourAlong(const Vec3& v) const {
  const int width = image_.cols;
  const int height = image_.rows;
  const double length = std::sqrt(dot(v, v));
  const double polar = std::acos(std::clamp(v.y / length, -1.0, 1.0));
  double azimuth = std::atan2(v.x, v.z);
  if (azimuth < 0.0) azimuth += kTwoPi;
  if (azimuth >= kTwoPi) azimuth = 0.0;

  const double x = azimuth / kTwoPi * width - 0.5;
  const double y = std::clamp(polar / kPi * height - 0.5, 0.0, height - 1.0);
  const double x0 = std::floor(x);
  const double y0 = std::floor(y);
  const double fx = x - x0;
  const double fy = y - y0;
  const int c0 = (static_cast<int>(x0) % width + width) % width;
  const int c1 = (c0 + 1) % width;
  const int r0 = static_cast<int>(y0);
  const int r1 = std::min(r0 + 1, height - 1);
  const cv::Vec3b& a = image_.at<cv::Vec3b>(r0, c0);
  const cv::Vec3b& b = image_.at<cv::Vec3b>(r0, c1);
  const cv::Vec3b& c = image_.at<cv::Vec3b>(r1, c0);
  const cv::Vec3b& d = image_.at<cv::Vec3b>(r1, c1);
  cv::Vec3b result;
  for (int i = 0; i < 3; ++i) {
    const double top = a[i] + (b[i] - a[i]) * fx;
    const double bottom = c[i] + (d[i] - c[i]) * fx;
    result[i] = cv::saturate_cast<uchar>(top + (bottom - top) * fy);
  }
  return result;
}

cv::Mat SampleScene::renderPhoto(double altitude, double azimuth, double focalPixels, int width,
                                 int height) const {
  if (width <= 0 || height <= 0 || image_.empty()) {
    return cv::Mat();
  }
  const PhotoCamera camera = PhotoCamera::pinhole(altitude, azimuth, focalPixels, width, height);
  cv::Mat photo(height, width, CV_8UC3);
  parallelRows(height, [&](int from, int to) {
    for (int y = from; y < to; ++y) {
      cv::Vec3b* out = photo.ptr<cv::Vec3b>(y);
      for (int c = 0; c < width; ++c) {
        out[c] = colourAlong(camera.rayThrough(c, y));
      }
    }
  });
  return photo;
}

cv::Mat SampleScene::renderView(const CamData& camera) const {
  if (camera.width <= 0 || camera.height <= 0) {
    return cv::Mat();
  }
  const double pitch = camera.sensorWidth / static_cast<double>(camera.width);
  const double focalPixels = std::floor(camera.f / pitch + 0.5);
  return renderPhoto(camera.altitude, camera.azimuth, focalPixels, camera.width, camera.height);
}

cv::Mat SampleScene::renderThrough(const PhotoCamera& camera, int width, int height,
                                   const std::array<std::uint8_t, 256>* tone) const {
  if (width <= 0 || height <= 0 || image_.empty()) {
    return cv::Mat();
  }
  cv::Mat photo(height, width, CV_8UC3, cv::Scalar(0, 0, 0));
  parallelRows(height, [&](int from, int to) {
    for (int y = from; y < to; ++y) {
      cv::Vec3b* out = photo.ptr<cv::Vec3b>(y);
      for (int c = 0; c < width; ++c) {
        Vec3 direction;
        if (!camera.directionThrough(c + 0.5, y + 0.5, &direction)) {
          continue;
        }
        cv::Vec3b colour = colourAlong(direction);
        if (tone != nullptr) {
          for (int i = 0; i < 3; ++i) colour[i] = (*tone)[colour[i]];
        }
        out[c] = colour;
      }
    }
  });
  return photo;
}
