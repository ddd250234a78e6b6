#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

class Logger;
class Picture;

// The loader's hold on one picture's image (one use of it).
struct LoadedEntry {
  Picture* picture = nullptr;  // not owned
  cv::Mat image;
};

// Decides which photographs hold a larger image than their preview, and at
// which scale: the view's partners get the scale the overlap geometry calls
// for; photographs more than maxDepth overlap steps from every partner drop
// back to their previews. Operations that find the loader busy give up.
class PicLoader {
 public:
  PicLoader(int pictureCount, Logger* logger);
  ~PicLoader();

  void loadNeededPictures(Picture* view, bool force);
  void load(Picture* picture, int targetWidth, int targetHeight);
  void freeUnneded(Picture* viewCopy);
  bool isNearView(Picture* start, Picture* viewCopy);
  void free(Picture* picture);
  void loadNeighbours(Picture* view);
  void loadNeighboursFrom(Picture* picture, int level, double scale, Picture* view);

  // fullExtent * viewExtent / photoExtent in 64 bits, truncated, clamped to
  // 0 ... INT_MAX; a photograph extent below 1 counts as 1.
  static int targetExtent(int fullExtent, std::int64_t viewExtent, std::int64_t photoExtent);

  int maxDepth = 3;
  int loadedCount = 0;
  int pictureCount = 0;
  std::vector<unsigned char> visited;
  std::vector<int> distance;
  std::vector<std::unique_ptr<LoadedEntry>> loaded;
  Logger* logger = nullptr;  // not owned
  std::atomic<bool> locked{false};

 private:
  // The picture has a slot: its ID is 0 ... pictureCount - 1.
  bool hasSlot(const Picture* picture) const;
  void logLine(const char* text);
  void logErrorLine(const char* context, const std::string& text);
};
