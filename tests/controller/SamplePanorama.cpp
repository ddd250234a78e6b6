#include "SamplePanorama.h"

#include <cstdlib>

#include "SampleWriter.h"

namespace fs = std::filesystem;

const SamplePanorama& SamplePanorama::get() {
  static const SamplePanorama sample;
  return sample;
}

SamplePanorama::SamplePanorama() {
  std::string pattern = (fs::temp_directory_path() / "pano-sample-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    error = "cannot create the sample directory";
    return;
  }
  root_ = pattern;
  const std::string directory = (root_ / "sample").string();
  if (writeSmallSample(directory, &error, &scene)) {
    description = (fs::path(directory) / SampleWriter::kDescriptionName).string();
    sound = (fs::path(directory) / SampleWriter::kSoundDirectory).string();
  }
}

SamplePanorama::~SamplePanorama() {
  if (!root_.empty()) {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
}
