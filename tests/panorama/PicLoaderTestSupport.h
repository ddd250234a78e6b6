#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "base/Logger.h"
#include "panorama/PicLoader.h"
#include "panorama/Picture.h"
#include "support/TempDir.h"

// A loader on `count` photographs of 400 x 300 pixels (JPEG files in a
// temporary directory, previews 100 x 75) with its own log file, and a view.
class PicLoaderFixture : public ::testing::Test {
 protected:
  explicit PicLoaderFixture(int count = 1) {
    for (int id = 0; id < count; ++id) {
      cv::Mat pixels(300, 400, CV_8UC3);
      cv::randu(pixels, 0, 255);
      const std::string path = dir.file(std::to_string(id) + ".jpg");
      cv::imwrite(path, pixels);
      photos.push_back(std::make_unique<Picture>(id, 400, 300, 50.0, 36.0, 24.0, 1.5, 0.0, 0.0f, id));
      photos.back()->setPitch(Picture::kPhotoPitch);
      EXPECT_TRUE(photos.back()->setFile(path));
    }
    loader = std::make_unique<PicLoader>(count, &logger);
  }

  // A record whose own (view) box is ownW x ownH and partner box partW x partH.
  static void addRecord(Picture* owner, Picture* partner, int ownW, int ownH, int partW, int partH) {
    owner->overlaps.push_back({{3, 2, 3 + ownW - 1, 2 + ownH - 1, 3, 2 + ownH - 1},
                               {partW - 1, 0, 0, partH - 1, 0, 0}, 3, partner, {}, {}, -1});
  }
  static void link(Picture* a, Picture* b) {
    addRecord(a, b, 10, 10, 10, 10);
    addRecord(b, a, 10, 10, 10, 10);
  }
  // What the view's refinement does for one photograph: a forced request.
  void forceLoad(Picture* photo, int w, int h) {
    photo->keepCurrent = false;
    loader->load(photo, w, h);
    photo->keepCurrent = true;
  }

  std::vector<std::string> messages() const {
    std::vector<std::string> result;
    std::istringstream text(readWholeFile(logPath));
    for (std::string line; std::getline(text, line);) {
      if (!line.empty() && line[0] == '\t') {
        result.push_back(line.substr(1));
      }
    }
    return result;
  }
  bool logged(const std::string& message) const {
    const auto all = messages();
    return std::find(all.begin(), all.end(), message) != all.end();
  }

  TempDir dir;
  std::string logPath = dir.file("loader.log");
  Logger logger{logPath.c_str()};
  std::vector<std::unique_ptr<Picture>> photos;
  std::unique_ptr<PicLoader> loader;
  Picture view{-1, 700, 480, 50.0, 35.0, 24.0, 1.5, 0.0, 0.0f, -1.0};
};
