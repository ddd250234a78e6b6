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

  // Largest number of photographs a description may declare.
  static constexpr int kMaxPictures = 100000;
  // Longest lens name kept (longer names are cut) and longest picture path
  // accepted (a longer one rejects the file).
  static constexpr std::size_t kMaxLensName = 9999;
  static constexpr std::size_t kMaxPicturePath = 4999;

  // Reads the file at `path`; returns `status`. On any failure the
  // collection holds no pictures and `count` and `pictureCount` are 0.
  int openPanorama(const char* path);
  // The picture with `id`, or nullptr.
  Picture* findById(int id) const;

  // A photograph from the working fields (id, size, lens, sensor, direction
  // in degrees), with the fixed photograph pixel pitch; counts it in `count`.
  std::unique_ptr<Picture> createPicture();
  // Bubble sort of `pictures` by ascending ID; equal IDs keep their order.
  void sortById();

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
  // Threads that read the photographs to build their previews; 0 uses one
  // per processor core. The result does not depend on it.
  int previewThreads = 0;
};
