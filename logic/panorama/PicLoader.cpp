#include "panorama/PicLoader.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <queue>
#include <thread>

#include <opencv2/core.hpp>

#include "base/ClearOnExit.h"
#include "base/ParallelFor.h"
#include "base/Logger.h"
#include "panorama/Picture.h"

namespace {

constexpr std::size_t kLogBuffer = 1000;

// full * scale rounded up, within 0 ... INT_MAX.
int targetExtentOf(int full, double scale) {
  const double extent = std::ceil(full * scale - 1e-9);
  return extent >= INT_MAX ? INT_MAX : extent <= 0.0 ? 0 : static_cast<int>(extent);
}

// Smallest and largest x and y of the first `count` (column, row) pairs.
struct Box {
  std::int64_t width = 0;
  std::int64_t height = 0;
};

Box boundingBox(const std::vector<int>& points, std::size_t count) {
  int minX = points[0];
  int maxX = points[0];
  int minY = points[1];
  int maxY = points[1];
  for (std::size_t k = 1; k < count; ++k) {
    minX = std::min(minX, points[2 * k]);
    maxX = std::max(maxX, points[2 * k]);
    minY = std::min(minY, points[2 * k + 1]);
    maxY = std::max(maxY, points[2 * k + 1]);
  }
  Box box;
  box.width = static_cast<std::int64_t>(maxX) - minX + 1;
  box.height = static_cast<std::int64_t>(maxY) - minY + 1;
  return box;
}

}  // namespace

PicLoader::PicLoader(int count, Logger* logger) : logger(logger) {
  logLine("PicLoader::PicLoader()");
  locked = false;
  maxDepth = 3;
  pictureCount = count > 0 ? count : 0;
  loadedCount = 0;
  visited.assign(pictureCount, 0);
  distance.assign(pictureCount, 0);
  loaded.resize(pictureCount);
  logLine("PicLoader::PicLoader() init loaded[] and visited[]");
}

// The pictures may already be gone when the loader is destroyed (the
// collection is closed first), so the entries are dropped without touching
// the pictures' use counts.
PicLoader::~PicLoader() = default;

int PicLoader::targetExtent(int fullExtent, std::int64_t viewExtent, std::int64_t photoExtent) {
  if (photoExtent <= 0) {
    photoExtent = 1;
  }
  const std::int64_t target = static_cast<std::int64_t>(fullExtent) * viewExtent / photoExtent;
  if (target > INT_MAX) {
    return INT_MAX;
  }
  if (target < 0) {
    return 0;
  }
  return static_cast<int>(target);
}

double PicLoader::steadyScale(double scale) {
  if (!(scale > 0.0 && scale < 1.0)) {
    return scale;
  }
  const double step = std::max(scale, std::exp2(std::ceil(8.0 * std::log2(scale) - 1e-9) / 8.0));
  // The last step below 1 saves less memory than its resize of the whole
  // photograph costs time (a 32-megapixel photograph takes longer to resize
  // than to draw): the photograph is used at full size instead.
  return step >= kFullSizeStep ? 1.0 : step;
}

void PicLoader::loadNeededPictures(Picture* view, bool force) {
  if (locked.exchange(true)) {
    logLine("PicLoader::loadNeededPictures LOCKED");
    return;
  }
  ClearOnExit release(locked);  // also when an exception leaves
  if (view == nullptr) {
    return;
  }

  char text[kLogBuffer];
  std::snprintf(text, sizeof text, "PicLoader::loadNeededPictures N=%u",
                static_cast<unsigned>(view->overlaps.size()));
  logLine(text);

  // A refinement decodes (and resizes) the files of the partners whose loads
  // will read them a few at a time on all cores before the loads, which then
  // take the images; loads, results and log lines stay as they were.
  std::vector<Target> targets(view->overlaps.size());
  for (std::size_t index = 0; index < targets.size(); ++index) {
    Target& target = targets[index];
    if (targetSize(view->overlaps[index], &target.width, &target.height)) {
      target.picture = view->overlaps[index].partner;
    }
  }
  if (force) {
    takeAheadDecodes(targets);
  }
  const std::size_t batch = force ? prefetchBatchSize() : 0;
  for (std::size_t index = 0; index < targets.size(); ++index) {
    if (batch > 1 && index % batch == 0) {
      prefetch(targets, index, std::min(targets.size(), index + batch));
    }
    const Target& target = targets[index];
    Picture* partner = target.picture;
    if (partner == nullptr) {
      continue;
    }
    if (force) {
      partner->keepCurrent = false;
    }
    const bool heldLarger = force && !partner->previewIsCurrent();
    load(partner, target.width, target.height);
    if (heldLarger && partner->previewIsCurrent()) {
      // Its image was smaller than the view needs: the request dropped it to
      // the preview to make room, and the refined view must not be drawn
      // from previews, so the larger image is loaded now.
      partner->keepCurrent = false;
      load(partner, target.width, target.height);
    }
    partner->keepCurrent = true;
  }
  if (force) {
    for (const Target& target : targets) {
      if (target.picture != nullptr) {
        target.picture->dropPrefetched();
      }
    }
  }
  if (force) {
    for (Picture* picture : handedOver_) {
      picture->dropPrefetched();
    }
    handedOver_.clear();
  }
}

bool PicLoader::targetSize(const OverlapRecord& record, int* targetWidth, int* targetHeight) {
  Picture* partner = record.partner;
  const bool full = record.fullCount >= 0;
  const std::vector<int>& own = full ? record.fullOwnPoints : record.ownPoints;
  const std::vector<int>& other = full ? record.fullPartnerPoints : record.partnerPoints;
  // A record needs at least one vertex on both sides to be measured.
  const std::size_t available = std::min(own.size(), other.size()) / 2;
  const int stated = full ? record.fullCount : record.count;
  const std::size_t count =
      stated > 0 ? std::min(static_cast<std::size_t>(stated), available) : 0;
  if (partner == nullptr || count == 0) {
    return false;
  }
  const Box viewBox = boundingBox(own, count);
  const Box photoBox = boundingBox(other, count);
  *targetWidth = targetExtent(partner->fullWidth, viewBox.width, photoBox.width);
  *targetHeight = targetExtent(partner->fullHeight, viewBox.height, photoBox.height);
  if (partner->camera) {
    // A lens photograph (its boxes sampled, its partner points full-size
    // pixels) gets one scale for both axes: the larger one the view asks
    // for, in steps.
    const double scale = steadyScale(
        std::max(static_cast<double>(*targetWidth) / std::max(1, partner->fullWidth),
                 static_cast<double>(*targetHeight) / std::max(1, partner->fullHeight)));
    *targetWidth = targetExtentOf(partner->fullWidth, scale);
    *targetHeight = targetExtentOf(partner->fullHeight, scale);
  }
  return true;
}

void PicLoader::keepUntilFirstRefinement(std::vector<Picture*> pictures) {
  handedOver_ = std::move(pictures);
}

std::size_t PicLoader::prefetchBatchSize() {
  const unsigned cores = std::thread::hardware_concurrency();
  // Each decoded photograph is held until its load: bound the extra memory.
  return std::clamp<std::size_t>(cores, 1, 4);
}

void PicLoader::prefetch(const std::vector<Target>& targets, std::size_t from, std::size_t to) {
  std::vector<Picture*> pictures;
  std::vector<double> scales;
  for (std::size_t i = from; i < to; ++i) {
    Picture* partner = targets[i].picture;
    if (hasSlot(partner) && partner->needsFileFor(targets[i].width, targets[i].height) &&
        std::find(pictures.begin(), pictures.end(), partner) == pictures.end()) {
      pictures.push_back(partner);
      scales.push_back(partner->scaleForTarget(targets[i].width, targets[i].height));
    }
  }
  if (pictures.size() < 2) {
    return;  // one decode gains nothing from another thread
  }
  parallelItems(static_cast<int>(pictures.size()),
                [&](int i) { pictures[i]->prefetchFullImage(scales[i]); },
                static_cast<unsigned>(pictures.size()));
}

void PicLoader::decodeAhead(Picture* viewCopy, const std::atomic<bool>& stop) {
  if (viewCopy == nullptr) {
    return;
  }
  struct Wanted {
    Picture* picture;
    double scale;
    cv::Size size;
  };
  std::vector<Wanted> wanted;
  std::size_t bytes = 0;
  for (const OverlapRecord& record : viewCopy->overlaps) {
    Picture* partner = record.partner;
    int width = 0;
    int height = 0;
    if (!targetSize(record, &width, &height) || !hasSlot(partner) ||
        !partner->needsFileFor(width, height) ||
        std::any_of(wanted.begin(), wanted.end(),
                    [partner](const Wanted& w) { return w.picture == partner; })) {
      continue;
    }
    const Wanted next{partner, partner->scaleForTarget(width, height),
                      partner->sizeForTarget(width, height)};
    bytes += 3 * static_cast<std::size_t>(next.size.area());
    if (bytes > kMaxAheadBytes) {
      break;
    }
    wanted.push_back(next);
  }
  // Decodes still wanted stay; the others are freed.
  std::vector<Wanted> missing;
  {
    std::lock_guard<std::mutex> lock(aheadMutex_);
    std::vector<AheadDecode> kept;
    for (const Wanted& w : wanted) {
      const auto it = std::find_if(ahead_.begin(), ahead_.end(), [&w](const AheadDecode& a) {
        return a.picture == w.picture && a.image.size() == w.size;
      });
      if (it != ahead_.end()) {
        kept.push_back(*it);
      } else {
        missing.push_back(w);
      }
    }
    ahead_.swap(kept);
  }
  // One at a time: the cores stay free for the quick views of a camera that
  // moves again, and at most one full decode is held beside the kept images.
  for (const Wanted& w : missing) {
    cv::Mat image;
    if (stop) {
      return;
    }
    if (w.picture->decodeAt(w.scale, &image) && image.size() == w.size) {
      std::lock_guard<std::mutex> lock(aheadMutex_);
      ahead_.push_back({w.picture, image});
    }
  }
}

std::size_t PicLoader::aheadBytes() const {
  std::lock_guard<std::mutex> lock(aheadMutex_);
  std::size_t bytes = 0;
  for (const AheadDecode& decode : ahead_) {
    bytes += decode.image.total() * decode.image.elemSize();
  }
  return bytes;
}

void PicLoader::takeAheadDecodes(const std::vector<Target>& targets) {
  std::vector<AheadDecode> ahead;
  {
    std::lock_guard<std::mutex> lock(aheadMutex_);
    ahead.swap(ahead_);
  }
  for (const AheadDecode& decode : ahead) {
    const auto target = std::find_if(targets.begin(), targets.end(), [&](const Target& t) {
      return t.picture == decode.picture;
    });
    if (target != targets.end() && decode.picture->needsFileFor(target->width, target->height) &&
        decode.image.size() == decode.picture->sizeForTarget(target->width, target->height)) {
      decode.picture->offerPrefetched(decode.image);
    }
  }
}

void PicLoader::load(Picture* picture, int targetWidth, int targetHeight) {
  if (!hasSlot(picture)) {
    return;
  }
  std::unique_ptr<LoadedEntry>& slot = loaded[picture->id];
  if (!slot) {
    auto entry = std::make_unique<LoadedEntry>();
    entry->picture = picture;
    entry->image = picture->acquireImage();
    slot = std::move(entry);
    ++loadedCount;
  }

  char text[kLogBuffer];
  if (picture->requestScale(targetWidth, targetHeight, &slot->image)) {
    std::snprintf(text, sizeof text, "PicLoader::load ID: %d, requested scale done, scale: %f|%f",
                  picture->id, picture->scaleX, picture->scaleY);
  } else {
    std::snprintf(text, sizeof text, "PicLoader::load ID: %d, requested scale NOT done",
                  picture->id);
  }
  logLine(text);
  logReadProblem(picture);
}

void PicLoader::logReadProblem(Picture* picture) {
  std::string reason;
  if (picture->takeReadProblem(&reason) != PictureFileProblem::kNone) {
    logErrorLine("PicLoader::load, reading a photograph",
                 "ID " + std::to_string(picture->id) + ": " + reason);
  }
}

void PicLoader::freeUnneded(Picture* viewCopy) {
  if (locked.exchange(true)) {
    logLine("PicLoader::freeUnneded LOCKED");
    return;
  }
  ClearOnExit release(locked);  // also when an exception leaves
  if (viewCopy == nullptr) {
    return;
  }

  char text[kLogBuffer];
  std::snprintf(text, sizeof text, "PicLoader::freeUnneded VirtPic OvCount: %u",
                static_cast<unsigned>(viewCopy->overlaps.size()));
  logLine(text);

  try {
    for (int i = 0; i < pictureCount; ++i) {
      if (!loaded[i]) {
        continue;
      }
      Picture* picture = loaded[i]->picture;
      if (!isNearView(picture, viewCopy)) {
        free(picture);
      }
    }
  } catch (const cv::Exception& e) {
    logErrorLine("freeUnneded", e.what());
  } catch (...) {
    // A failed cleanup only leaves some images in memory until the next
    // one: log it and let the viewer go on.
    logErrorLine("freeUnneded general exception", "FUUU");
  }
}

bool PicLoader::isNearView(Picture* start, Picture* viewCopy) {
  if (start == nullptr || viewCopy == nullptr) {
    return false;
  }
  if (!hasSlot(start)) {
    // Not a node of the overlap graph: only a direct overlap counts.
    return viewCopy->hasPartner(start);
  }
  std::fill(visited.begin(), visited.end(), 0);
  std::fill(distance.begin(), distance.end(), 2 * pictureCount);

  std::queue<Picture*> queue;
  queue.push(start);
  visited[start->id] = 1;
  distance[start->id] = 0;
  while (!queue.empty()) {
    Picture* current = queue.front();
    queue.pop();
    if (viewCopy->hasPartner(current)) {
      return true;
    }
    if (distance[current->id] > maxDepth - 1) {
      continue;
    }
    for (const OverlapRecord& record : current->overlaps) {
      Picture* next = record.partner;
      if (!hasSlot(next) || visited[next->id] != 0) {
        continue;
      }
      queue.push(next);
      visited[next->id] = 1;
      distance[next->id] = std::min(distance[next->id], distance[current->id] + 1);
    }
  }
  return false;
}

void PicLoader::free(Picture* picture) {
  if (!hasSlot(picture) || !loaded[picture->id]) {
    return;
  }
  char text[kLogBuffer];
  std::snprintf(text, sizeof text, "PicLoader::free ID: %d", picture->id);
  logLine(text);

  picture->keepCurrent = false;
  // One use less; the last one drops the picture back to its preview.
  picture->releaseImage();
  loaded[picture->id].reset();
  --loadedCount;
}

void PicLoader::loadNeighbours(Picture* view) {
  if (locked.exchange(true)) {
    logLine("PicLoader::loadNeighbours LOCKED");
    return;
  }
  ClearOnExit release(locked);  // also when an exception leaves
  std::fill(visited.begin(), visited.end(), 0);
  logLine("PicLoader::loadNeighbours");
  if (view == nullptr) {
    return;
  }
  try {
    loadNeighboursFrom(view, 0, 1.0, view);
  } catch (const cv::Exception& e) {
    logErrorLine("loadNeighbours", e.what());
  } catch (...) {
    logErrorLine("loadNeighbours general exception", "FUU");
  }
}

void PicLoader::loadNeighboursFrom(Picture* picture, int level, double scale, Picture* view) {
  if (picture == nullptr || view == nullptr) {
    return;
  }
  const bool photograph = picture->id >= 0;
  if (photograph && !view->hasPartner(picture)) {
    load(picture, static_cast<int>(std::floor(picture->fullWidth * scale + 0.5)),
         static_cast<int>(std::floor(picture->fullHeight * scale + 0.5)));
  }
  if (level >= maxDepth) {
    return;
  }
  double nextScale = 1.0;
  if (photograph) {
    if (!hasSlot(picture)) {
      return;
    }
    visited[picture->id] = 1;
    nextScale = picture->rescalePending ? picture->requestedScale
                                        : (picture->scaleX + picture->scaleY) / 2.0;
  }
  for (const OverlapRecord& record : picture->overlaps) {
    Picture* next = record.partner;
    if (!hasSlot(next) || visited[next->id] != 0) {
      continue;
    }
    loadNeighboursFrom(next, level + 1, nextScale, view);
  }
}

bool PicLoader::hasSlot(const Picture* picture) const {
  return picture != nullptr && picture->id >= 0 && picture->id < pictureCount;
}

void PicLoader::logLine(const char* text) {
  if (logger != nullptr) {
    logger->log(text);
  }
}

void PicLoader::logErrorLine(const char* context, const std::string& text) {
  if (logger != nullptr) {
    logger->logError(context, text);
  }
}
