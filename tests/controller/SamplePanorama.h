#pragma once

#include <filesystem>
#include <string>

#include "SampleScene.h"

// The small sample panorama (photographs, description and three sound data
// sets), written once per test program into a temporary directory that is
// removed when the program ends. Tests read it, they never change it.
class SamplePanorama {
 public:
  // The sample, made on first use; `error` says why when `description` is
  // empty.
  static const SamplePanorama& get();

  std::string description;  // the description file
  std::string sound;        // the sound data directory
  std::string error;
  // The scene the photographs were taken of, for comparing views with it.
  SampleScene scene;

  SamplePanorama(const SamplePanorama&) = delete;
  SamplePanorama& operator=(const SamplePanorama&) = delete;

 private:
  SamplePanorama();
  ~SamplePanorama();

  std::filesystem::path root_;
};
