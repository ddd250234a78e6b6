#include "ViewProject.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "base/Constants.h"
#include "base/TextFormat.h"
#include "camera/CameraLimits.h"
#include "camera/PhotoCamera.h"
#include "panorama/PicManager.h"
#include "panorama/Picture.h"

namespace {

bool fitsProject(const std::string& path) {
  for (const char c : path) {
    if (c == '"' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  }
  return true;
}

}  // namespace

std::string viewProjectHead(const CamData& camera) {
  return formatText(
      "# stitcher project of one view (panorama-render --write-pto)\n"
      "p f0 w%d h%d v%.17g E0 R0 n\"PNG\"\n"
      "m i0\n\n",
      camera.width, camera.height,
      horizontalFieldOfViewDegrees(camera.sensorWidth, camera.f));
}

bool viewProjectPhotos(const CamData& camera, const PicManager& panorama,
                       std::vector<ProjectPhoto>* photos, std::string* error) {
  const Mat3 view = cameraRotation(cameraAxes(camera.altitude, camera.azimuth));
  std::vector<ProjectPhoto> made;
  for (const auto& picture : panorama.pictures) {
    if (picture->camera) {
      *error = "the panorama's photographs are not pinholes of an XML description";
      return false;
    }
    ProjectPhoto photo;
    photo.fileName = std::filesystem::absolute(picture->fileName).string();
    if (!fitsProject(photo.fileName)) {
      *error = "the photograph path " + printableText(photo.fileName, photo.fileName.size()) +
               " holds a quote or a control character";
      return false;
    }
    // The view assembly draws the photograph through a pinhole of focal
    // length focalLength / pitch pixels, pitch being basePitch at full size.
    const double focalPixels = picture->focalLength / picture->basePitch;
    photo.lens.width = picture->fullWidth;
    photo.lens.height = picture->fullHeight;
    photo.lens.projection = Projection::Rectilinear;
    photo.lens.hfovDegrees =
        radiansToDegrees(2.0 * std::atan(picture->fullWidth / (2.0 * focalPixels)));
    const Mat3 rotation = cameraRotation(cameraAxes(picture->altitude, picture->azimuth));
    photoAngles(rotationSeenFrom(rotation, view), &photo.yaw, &photo.pitch, &photo.roll);
    made.push_back(std::move(photo));
  }
  *photos = std::move(made);
  return true;
}

bool writeViewProject(const std::string& path, const CamData& camera, const PicManager& panorama,
                      std::string* error) {
  std::vector<ProjectPhoto> photos;
  if (!viewProjectPhotos(camera, panorama, &photos, error)) return false;
  std::ofstream out(path, std::ios::binary);
  out << projectText(photos, viewProjectHead(camera));
  out.close();
  if (!out) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}
