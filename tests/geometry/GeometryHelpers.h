#pragma once

#include <memory>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>

#include <gtest/gtest.h>

#include "camera/GeneralCamera.h"
#include "panorama/PicManager.h"
#include "panorama/Picture.h"

// A photograph held in memory: `image` is its current image, also kept as the
// preview, so acquiring and releasing it never reads a file.
inline std::unique_ptr<Picture> memoryPhoto(int id, const cv::Mat& image, double focalLength,
                                            double pitch, double altitude, double azimuth,
                                            int fullWidth = 0, int fullHeight = 0) {
  const int fw = fullWidth > 0 ? fullWidth : image.cols;
  const int fh = fullHeight > 0 ? fullHeight : image.rows;
  auto photo = std::make_unique<Picture>(id, fw, fh, focalLength, fw * pitch, fh * pitch,
                                         altitude, azimuth, 0.0f, 0.0);
  photo->setPitch(pitch);
  photo->image = image;
  photo->preview = image;
  photo->keepCurrent = true;
  photo->width = image.cols;
  photo->height = image.rows;
  photo->scaleX = static_cast<double>(image.cols) / fw;
  photo->scaleY = static_cast<double>(image.rows) / fh;
  photo->pixelPitch = pitch * fw / image.cols;
  return photo;
}

// A photograph without pixels, for the overlap geometry alone.
inline std::unique_ptr<Picture> describedPhoto(int id, int width, int height, double focalLength,
                                               double sensorWidth, double sensorHeight,
                                               double pitch, double altitude, double azimuth) {
  auto photo = std::make_unique<Picture>(id, width, height, focalLength, sensorWidth,
                                         sensorHeight, altitude, azimuth, 0.0f, 0.0);
  photo->setPitch(pitch);
  return photo;
}

// A collection holding `pictures`, in the given order (sorted by ID).
inline std::unique_ptr<PicManager> panoramaOf(std::vector<std::unique_ptr<Picture>> pictures) {
  auto panorama = std::make_unique<PicManager>();
  panorama->setPictures(std::move(pictures));
  return panorama;
}

// A lens photograph with `lens` oriented by the project's yaw, pitch and roll
// (degrees), its brightness shown at `outputExposure`. With an image, that is
// its current image and preview (any size: a scaled image of the lens'
// picture), so acquiring never reads a file; without, it only has its size.
inline std::unique_ptr<Picture> lensPhoto(int id, const Lens& lens, double yaw, double pitch,
                                          double roll, const cv::Mat& image = cv::Mat(),
                                          const PhotometricParams& brightness = {},
                                          double outputExposure = 0.0) {
  auto camera = std::make_shared<GeneralCamera>();
  std::string error;
  if (!makeGeneralCamera(lens, yaw, pitch, roll, brightness, outputExposure, camera.get(), &error)) {
    ADD_FAILURE() << error;
  }
  auto photo = std::make_unique<Picture>(id, lens.width, lens.height, 0.0, 0.0, 0.0, 0.0, 0.0,
                                         0.0f, 0.0);
  photo->setPitch(Picture::kPhotoPitch);
  photo->setGeneralCamera(camera);
  if (!image.empty()) {
    photo->image = image;
    photo->preview = image;
    photo->keepCurrent = true;
    photo->width = image.cols;
    photo->height = image.rows;
    photo->scaleX = static_cast<double>(image.cols) / lens.width;
    photo->scaleY = static_cast<double>(image.rows) / lens.height;
  }
  return photo;
}
