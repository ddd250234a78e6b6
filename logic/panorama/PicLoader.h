#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "panorama/OverlapRecord.h"

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

  // Asks every photograph in the view's overlap list for the scale its
  // overlap box calls for. Only with `force` may a photograph load its file;
  // otherwise the scale is recorded for later. keepCurrent is set afterwards.
  void loadNeededPictures(Picture* view, bool force);
  // Takes a hold on the picture if the loader has none and requests the
  // target size (pixels at full scale are the reference).
  void load(Picture* picture, int targetWidth, int targetHeight);
  // Frees every held photograph from which no view partner is reachable in
  // at most maxDepth overlap steps. Runs on the free thread with a copy of
  // the view; exceptions are logged and end the operation.
  void freeUnneded(Picture* viewCopy);
  // Breadth-first search from `start` to a partner of the view copy; partners
  // whose ID has no slot are not walked.
  bool isNearView(Picture* start, Picture* viewCopy);
  // Drops the loader's hold; the last holder's release reverts to the preview.
  // A picture without an entry is left alone and nothing is logged.
  void free(Picture* picture);
  // Requests, for photographs up to maxDepth steps from the view that do not
  // overlap it, the scale of the picture through which they were reached.
  void loadNeighbours(Picture* view);
  void loadNeighboursFrom(Picture* picture, int level, double scale, Picture* view);

  // Decodes ahead, while the camera rests after a quick view, what the next
  // refinement of `viewCopy` will read: the partners whose loads will read
  // their files, in list order, resized as the loads will ask, up to
  // kMaxAheadBytes of images. The next refinement (loadNeededPictures with
  // force) takes those of exactly the size it asks for and frees the rest.
  // Stops between photographs once `stop` is set. Runs beside quick views and
  // free threads, never beside a refinement; the pictures must outlive it.
  void decodeAhead(Picture* viewCopy, const std::atomic<bool>& stop);
  static constexpr std::size_t kMaxAheadBytes = std::size_t{64} << 20;
  // Bytes of images decoded ahead and not yet taken.
  std::size_t aheadBytes() const;

  // Pictures that kept their decode of the open (Picture::keepDecodeAt):
  // the first refinement (loadNeededPictures with force) takes what it
  // needs and frees the rest.
  void keepUntilFirstRefinement(std::vector<Picture*> pictures);

  // The size a view's record asks its partner for: the partner's full size
  // times the overlap's extent in the view over its extent in the partner's
  // full-size image. False when the record has no vertex to measure.
  static bool targetSize(const OverlapRecord& record, int* targetWidth, int* targetHeight);
  // fullExtent * viewExtent / photoExtent in 64 bits, truncated, clamped to
  // 0 ... INT_MAX; a photograph extent below 1 counts as 1.
  static int targetExtent(int fullExtent, std::int64_t viewExtent, std::int64_t photoExtent);
  // A scale below 1 raised to the next step of 2^(1/8) (others are kept),
  // and the steps from kFullSizeStep on to 1: the scale of a lens
  // photograph, so that views a little apart ask for the same size instead
  // of resizing or reloading a large photograph for a pixel or two.
  static double steadyScale(double scale);
  // 2^(-1/4), the last step below 1.
  static constexpr double kFullSizeStep = 0.8408964152537145;

  int maxDepth = 3;
  int loadedCount = 0;
  int pictureCount = 0;
  std::vector<unsigned char> visited;
  std::vector<int> distance;
  std::vector<std::unique_ptr<LoadedEntry>> loaded;
  Logger* logger = nullptr;  // not owned
  std::atomic<bool> locked{false};

 private:
  std::vector<Picture*> handedOver_;  // not owned
  // The picture has a slot: its ID is 0 ... pictureCount - 1.
  bool hasSlot(const Picture* picture) const;
  static std::size_t prefetchBatchSize();
  // A view record's partner and the size it asks for (targetSize); no
  // picture when the record cannot be measured.
  struct Target {
    Picture* picture = nullptr;  // not owned
    int width = 0;
    int height = 0;
  };
  // Decodes, in parallel, the files of the partners of targets [from, to)
  // whose loads will read them (their image is smaller than asked for).
  void prefetch(const std::vector<Target>& targets, std::size_t from, std::size_t to);
  // Hands the images decoded ahead that the targets ask for to their
  // pictures (Picture::offerPrefetched) and frees the others.
  void takeAheadDecodes(const std::vector<Target>& targets);
  struct AheadDecode {
    Picture* picture = nullptr;  // not owned
    cv::Mat image;
  };
  mutable std::mutex aheadMutex_;
  std::vector<AheadDecode> ahead_;
  // Logs why the picture's file gave no image, if it did not.
  void logReadProblem(Picture* picture);
  void logLine(const char* text);
  void logErrorLine(const char* context, const std::string& text);
};
