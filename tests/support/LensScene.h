#pragma once

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "SampleScene.h"
#include "base/Constants.h"
#include "camera/CamData.h"
#include "camera/GeneralCamera.h"
#include "camera/LensMapping.h"
#include "camera/PhotoCamera.h"
#include "panorama/PicManager.h"
#include "panorama/Picture.h"

// Helpers for tests of lens photographs (stitcher projects, 360-degree
// photographs) against the scene they show.

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

// Mean absolute difference per channel over the pixels of `mask`.
inline double meanErrorOver(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask) {
  cv::Mat difference;
  cv::absdiff(a, b, difference);
  const cv::Scalar mean = cv::mean(difference, mask);
  return (mean[0] + mean[1] + mean[2]) / 3.0;
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
