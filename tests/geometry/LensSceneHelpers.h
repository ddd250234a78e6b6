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
#include "support/LensScene.h"

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
