#include "controller/FirstView.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "base/Constants.h"
#include "camera/GeneralCamera.h"
#include "camera/PhotoCamera.h"
#include "geometry/APrioriOverlapper.h"
#include "panorama/PicLoader.h"
#include "panorama/Picture.h"

namespace {

constexpr double kMarginRadians = 2.0 * kPi / 180.0;

// Half the diagonal field of an image plane of `width` x `height` mm seen at
// focal length `focal` mm.
double halfDiagonal(double width, double height, double focal) {
  if (!(focal > 0.0) || !std::isfinite(width) || !std::isfinite(height)) {
    return kPi / 2.0;
  }
  return std::atan(std::hypot(width, height) / (2.0 * focal));
}

// Angle between the axes of two directions (altitude from straight down,
// azimuth), 0 ... pi.
double axisAngle(double altitudeA, double azimuthA, double altitudeB, double azimuthB) {
  const double cosine = std::cos(altitudeA) * std::cos(altitudeB) +
                        std::sin(altitudeA) * std::sin(altitudeB) * std::cos(azimuthA - azimuthB);
  return std::acos(std::clamp(cosine, -1.0, 1.0));
}

}  // namespace

double overlapReachOf(const CamData& camera, const Picture& photo) {
  const double view = halfDiagonal(camera.sensorWidth, camera.sensorHeight, camera.f);
  // The larger of the described sensor and the pixels at their pitch.
  const double sensor = halfDiagonal(photo.sensorWidth, photo.sensorHeight, photo.focalLength);
  const double pixels = halfDiagonal(photo.fullWidth * photo.basePitch,
                                     photo.fullHeight * photo.basePitch, photo.focalLength);
  return view + std::max(sensor, pixels) + kMarginRadians;
}

double lensReachOf(const CamData& camera, const GeneralCamera& photo) {
  return halfDiagonal(camera.sensorWidth, camera.sensorHeight, camera.f) +
         coverageRadius(photo.lens) + kMarginRadians;
}

std::vector<Picture*> keepDecodesForView(const CamData& camera,
                                         const std::vector<std::unique_ptr<Picture>>& pictures,
                                         std::size_t maxKeptBytes) {
  const Vec3 viewAxis = cameraAxes(camera.altitude, camera.azimuth).forward;
  std::vector<std::pair<double, Picture*>> near;
  for (const auto& picture : pictures) {
    if (!picture || picture->id < 0) {
      continue;
    }
    if (picture->camera) {
      const double angle = std::acos(std::clamp(dot(viewAxis, picture->camera->axis), -1.0, 1.0));
      if (angle <= lensReachOf(camera, *picture->camera)) {
        near.emplace_back(angle, picture.get());
      }
      continue;
    }
    const double angle =
        axisAngle(camera.altitude, camera.azimuth, picture->altitude, picture->azimuth);
    if (angle <= overlapReachOf(camera, *picture)) {
      near.emplace_back(angle, picture.get());
    }
  }
  std::stable_sort(near.begin(), near.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  // The size each one's load will ask for: the view's own overlap record,
  // measured as the refinement will measure it.
  std::unique_ptr<Picture> view = Picture::forCamera(camera);
  APrioriOverlapper overlapper;
  std::vector<Picture*> kept;
  std::size_t keptBytes = 0;
  for (const auto& [angle, picture] : near) {
    view->overlaps.clear();
    int targetWidth = 0;
    int targetHeight = 0;
    if (overlapper.overlapPair(picture, view.get()) != 0 ||
        !PicLoader::targetSize(view->overlaps.back(), &targetWidth, &targetHeight)) {
      continue;
    }
    const double scale = picture->scaleForTarget(targetWidth, targetHeight);
    int width = 0;
    int height = 0;
    picture->sizeAtScale(scale, &width, &height);
    const std::size_t bytes = static_cast<std::size_t>(width) * height * 3;
    if (keptBytes + bytes > maxKeptBytes) {
      continue;
    }
    keptBytes += bytes;
    picture->keepDecodeAt = scale;
    kept.push_back(picture);
  }
  return kept;
}
