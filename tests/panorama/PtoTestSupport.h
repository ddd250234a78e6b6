#pragma once

// Stitcher projects for the reader's tests: photographs of given sizes and
// the project text written into a temporary directory.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "panorama/PtoReader.h"
#include "support/TempDir.h"

namespace ptotest {

struct Photo {
  std::string name;  // relative to the temporary directory; ".png" writes a PNG
  int width = 40;
  int height = 30;
};

// Writes the photographs and `text` as "project.pto" (in `subfolder` of the
// temporary directory when given) and reads it.
inline bool readProject(const TempDir& dir, const std::string& text, const std::vector<Photo>& photos,
                        PtoReader* reader, const std::string& subfolder = "") {
  for (const Photo& photo : photos) {
    const std::filesystem::path path = dir.path() / photo.name;
    std::filesystem::create_directories(path.parent_path());
    cv::Mat pixels(photo.height, photo.width, CV_8UC3, cv::Scalar(20, 90, 160));
    EXPECT_TRUE(cv::imwrite(path.string(), pixels)) << photo.name;
  }
  const std::filesystem::path folder = dir.path() / subfolder;
  std::filesystem::create_directories(folder);
  const std::string project = (folder / "project.pto").string();
  std::ofstream(project, std::ios::binary) << text;
  return reader->read(project);
}

}  // namespace ptotest
