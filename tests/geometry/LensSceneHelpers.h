#pragma once

#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "GeometryHelpers.h"
#include "SampleProject.h"
#include "SampleScene.h"
#include "base/Constants.h"
#include "camera/CamData.h"
#include "camera/LensMapping.h"
#include "camera/PhotoCamera.h"
#include "geometry/APrioriOverlapper.h"
#include "geometry/Puzzler.h"

// The sample maker's scene, 3600 pixels around and blurred (sigma 1.5 scene
// pixels), so that a view sampled to the nearest photograph pixel matches it
// closely and a slip of half a pixel shows. Made once.
inline const SampleScene& smoothScene() {
  static const SampleScene scene = [] {
    cv::Mat blurred;
    cv::GaussianBlur(SampleScene::builtIn(3600).image(), blurred, cv::Size(0, 0), 1.5);
    return SampleScene(blurred);
  }();
  return scene;
}

// A view camera of width x height pixels at (altitude, azimuth) in degrees
// whose focal length is `focalPixels` view pixels.
inline CamData lensViewCamera(double altitudeDegrees, double azimuthDegrees, double focalPixels,
                              int width = 320, int height = 240) {
  CamData camera;
  camera.altitude = degreesToRadians(altitudeDegrees);
  camera.azimuth = degreesToRadians(azimuthDegrees);
  camera.width = width;
  camera.height = height;
  camera.updateSensorWidth();
  camera.f = focalPixels * camera.sensorWidth / width;
  return camera;
}

// The photographs of `described` (lens, orientation, exposure value) with the
// images of `rendered` (the same or a deliberately wrong camera), as a
// collection; the brightness is shown at the mean exposure value.
inline std::unique_ptr<PicManager> lensPanorama(const std::vector<ProjectPhoto>& described,
                                                const std::vector<ProjectPhoto>& rendered,
                                                const SampleScene& scene = smoothScene()) {
  double mean = 0.0;
  for (const ProjectPhoto& photo : described) mean += photo.exposureValue / described.size();
  std::vector<std::unique_ptr<Picture>> pictures;
  for (std::size_t i = 0; i < described.size(); ++i) {
    cv::Mat image;
    std::string error;
    if (!renderProjectPhoto(scene, rendered[i], &image, &error)) ADD_FAILURE() << error;
    PhotometricParams brightness;
    brightness.exposureValue = described[i].exposureValue;
    pictures.push_back(lensPhoto(static_cast<int>(i), described[i].lens, described[i].yaw,
                                 described[i].pitch, described[i].roll, image, brightness, mean));
  }
  return panoramaOf(std::move(pictures));
}

// The view of `camera` assembled from the collection's photographs as they
// are held (the assembler writes its weight image into the working directory).
inline cv::Mat assembleLensView(PicManager* panorama, const CamData& camera) {
  APrioriOverlapper overlapper(panorama);
  Puzzler puzzler("gaussStark", panorama);
  auto view = Picture::forCamera(camera);
  std::vector<Picture*> found;
  overlapper.getOverlappedPictures(view.get(), &found);
  puzzler.puzzleTogether(static_cast<int>(found.size()), camera.width, camera.height, view.get(),
                         camera.azimuth, camera.altitude, view->lengthToPixels(camera.f));
  return view->acquireImage().clone();
}

// Which view pixels at least one photograph of the collection sees (255),
// as the assembly's rays go.
inline cv::Mat seenMask(const PicManager& panorama, const CamData& camera) {
  auto view = Picture::forCamera(camera);
  const double fv = view->lengthToPixels(camera.f);
  const CameraAxes axes = cameraAxes(camera.altitude, camera.azimuth);
  cv::Mat mask(camera.height, camera.width, CV_8U, cv::Scalar(0));
  for (int y = 0; y < camera.height; ++y) {
    for (int x = 0; x < camera.width; ++x) {
      const Vec3 ray = (x - camera.width / 2.0) * axes.right +
                       (y - camera.height / 2.0) * axes.down + fv * axes.forward;
      for (const auto& picture : panorama.pictures) {
        const GeneralCamera& general = *picture->camera;
        double column = 0.0;
        double row = 0.0;
        if (directionToPixel(general.lens, worldToCamera(general.rotation, ray), &column, &row)) {
          mask.at<unsigned char>(y, x) = 255;
          break;
        }
      }
    }
  }
  return mask;
}

// Mean absolute difference per channel over the pixels of `mask`.
inline double meanErrorOver(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask) {
  cv::Mat difference;
  cv::absdiff(a, b, difference);
  const cv::Scalar mean = cv::mean(difference, mask);
  return (mean[0] + mean[1] + mean[2]) / 3.0;
}
