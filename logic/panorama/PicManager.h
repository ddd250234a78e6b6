#pragma once

#include <memory>
#include <string>
#include <vector>

#include "panorama/Picture.h"

// The picture collection of one panorama, read from its XML description by
// position (element names are never looked at) and sorted by ID 0 ... n-1.
class PicManager {
 public:
  // Results of openPanorama.
  static constexpr int kRead = 0;
  static constexpr int kBadLayout = 1;      // structure not as required
  static constexpr int kNotLoaded = 2;      // file missing or not well-formed XML
  static constexpr int kPictureUnreadable = 3;  // a photograph could not be read

  // Reads the file at `path`; returns `status`. On any failure the
  // collection holds no pictures.
  int openPanorama(const char* path);
  // The picture with `id`, or nullptr.
  Picture* findById(int id) const;

  // Working storage: the values of the picture group being read.
  double altitude = 0.0;
  double azimuth = 0.0;
  int id = 0;
  int extra1 = 0;
  double extra2 = 0.0;
  int focalLength = 0;
  std::string lensName;
  double sensorWidth = 0.0;
  double sensorHeight = 0.0;
  int width = 0;
  int height = 0;
  int count = 0;
  int pictureCount = 0;
  std::vector<std::unique_ptr<Picture>> pictures;
  int status = 0;
  // Why the last openPanorama failed, for the log; empty after success.
  std::string error;
};
