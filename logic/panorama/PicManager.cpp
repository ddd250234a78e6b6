#include "panorama/PicManager.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <utility>

#include "base/Constants.h"
#include "base/ParallelFor.h"
#include "panorama/PictureFile.h"
#include "panorama/PreviewBuild.h"
#include "panorama/OpenProgress.h"

namespace {

constexpr int kCancelledBuild = -2;

// Builds the preview of pictures[i] from files[i] on `threads` threads; the
// photographs are taken in file order. Returns the index of the first
// photograph (in file order) that could not be read, or -1. After a failure
// no further photograph is started; as indices are handed out in ascending
// order, every photograph before a failed one has been tried, so the answer
// does not depend on the number of threads. With `progress`, the count of
// built previews is reported there, and a set cancel flag stops the build
// before the next photograph (then kCancelledBuild is returned).
int buildPreviews(const std::vector<std::unique_ptr<Picture>>& pictures,
                  const std::vector<std::string>& files, int threads, PreviewCache* cache,
                  OpenProgress* progress) {
  const int n = static_cast<int>(pictures.size());
  if (progress != nullptr) {
    progress->total = n;
    if (progress->changed) progress->changed(progress->done.load(), n);
  }
  std::atomic<bool> failed{false};
  std::atomic<int> tried{0};
  std::vector<char> built(n, 0);  // each element written by one worker
  parallelItems(
      n,
      [&](int i) {
        if (progress != nullptr && progress->cancel) {
          failed = true;  // stops handing out photographs
          return;
        }
        bool good = false;
        try {
          good = buildPreview(pictures[i].get(), files[i], cache);
        } catch (...) {
          good = false;
        }
        built[i] = good ? 1 : 0;
        int seen = tried.load();
        while (seen < i + 1 && !tried.compare_exchange_weak(seen, i + 1)) {
        }
        if (!good) {
          failed = true;
        } else if (progress != nullptr) {
          const int done = progress->done.fetch_add(1) + 1;
          if (progress->changed) progress->changed(done, n);
        }
      },
      static_cast<unsigned>(threads), &failed);
  if (progress != nullptr && progress->cancel) {
    return kCancelledBuild;
  }
  if (!failed) {
    return -1;
  }
  for (int i = 0; i < tried.load(); ++i) {
    if (!built[i]) {
      return i;
    }
  }
  return -1;
}

// What the user reads after `message` about why `picture` gave no image;
// the English reason goes to *detail (none for a missing file: the message
// says all there is, as it always did).
std::string readProblemText(Picture* picture, std::string* detail) {
  const PictureFileProblem problem = picture->takeReadProblem(detail);
  if (problem == PictureFileProblem::kMissing) {
    detail->clear();
  }
  const std::string text = pictureFileProblemText(problem);
  return text.empty() ? "" : " " + text;
}

}  // namespace

int PicManager::openPanorama(const char* path) {
  errorDetail.clear();
  refuse(kRead, "");

  PanoramaDescription description;
  std::string reason;
  const int read = readXmlDescription(path, &description, &reason);
  if (read != kRead) {
    return refuse(read, reason);
  }

  lensName = description.lensName;
  focalLength = description.focalLength;
  sensorWidth = description.sensorWidth;
  sensorHeight = description.sensorHeight;
  const int declared = static_cast<int>(description.photos.size());
  pictureCount = declared;
  pictures.resize(declared);
  for (const PhotoEntry& entry : description.photos) {
    std::unique_ptr<Picture> picture = createPicture(entry);
    pictures[count - 1] = std::move(picture);
  }

  if (beforePreviews) {
    beforePreviews(pictures);
  }
  const int unreadable = buildPreviews(pictures, description.files, previewThreadsFor(declared),
                                       previewCache.get(), progress);
  if (unreadable == kCancelledBuild) {
    return refuse(kCancelled, kCancelledReason);
  }
  if (unreadable >= 0) {
    const PhotoEntry& entry = description.photos[unreadable];
    std::string detail;
    const std::string why = readProblemText(pictures[unreadable].get(), &detail);
    refuse(kPictureUnreadable,
           "Das Foto " + description.files[unreadable] + " (ID " + std::to_string(entry.id) +
               ") kann nicht als JPEG-Bild von " + std::to_string(entry.width) + " x " +
               std::to_string(entry.height) + " Pixeln gelesen werden." + why);
    errorDetail = detail;
    return status;
  }

  sortById();
  return status;
}

std::unique_ptr<Picture> PicManager::createPicture(const PhotoEntry& entry) {
  auto picture = std::make_unique<Picture>(
      entry.id, entry.width, entry.height, static_cast<double>(focalLength), sensorWidth,
      sensorHeight, entry.altitude * kPi / 180.0, entry.azimuth * kPi / 180.0,
      static_cast<float>(entry.extra2), static_cast<double>(entry.extra1));
  picture->setPitch(Picture::kPhotoPitch);
  ++count;
  return picture;
}

int PicManager::refuse(int code, const std::string& reason) {
  pictures.clear();
  reindex();
  count = 0;
  pictureCount = 0;
  status = code;
  error = reason;
  return status;
}

int PicManager::previewThreadsFor(int photographs) const {
  const int threads = previewThreads > 0 ? previewThreads
                                         : static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(threads, 1, std::max(1, photographs));
}

void PicManager::sortById() {
  const int slots = std::min(pictureCount, static_cast<int>(pictures.size()));
  for (int limit = slots - 1; limit >= 1; --limit) {
    for (int i = 0; i < limit; ++i) {
      if (pictures[i] && pictures[i + 1] && pictures[i]->id > pictures[i + 1]->id) {
        std::swap(pictures[i], pictures[i + 1]);
      }
    }
  }
  reindex();
}

void PicManager::setPictures(std::vector<std::unique_ptr<Picture>> all) {
  pictures = std::move(all);
  pictureCount = static_cast<int>(pictures.size());
  count = pictureCount;
  reindex();
}

void PicManager::reindex() {
  byId_.assign(pictures.size(), nullptr);
  for (const auto& picture : pictures) {
    if (picture && picture->id >= 0 && picture->id < static_cast<int>(byId_.size()) &&
        byId_[picture->id] == nullptr) {
      byId_[picture->id] = picture.get();
    }
  }
}

Picture* PicManager::findById(int wanted) const {
  if (wanted >= 0 && wanted < static_cast<int>(byId_.size()) && byId_[wanted] != nullptr &&
      byId_[wanted]->id == wanted) {
    return byId_[wanted];
  }
  // The pictures were changed since they were indexed: search the sorted array.
  const int slots = std::min(pictureCount, static_cast<int>(pictures.size()));
  int low = 0;
  int high = slots - 1;
  while (low <= high) {
    const int middle = (low + high) / 2;
    const Picture* picture = pictures[middle].get();
    if (picture == nullptr) {
      return nullptr;
    }
    if (picture->id == wanted) {
      return pictures[middle].get();
    }
    if (picture->id > wanted) {
      high = middle - 1;
    } else {
      low = middle + 1;
    }
  }
  return nullptr;
}

int PicManager::openPictures(std::vector<std::unique_ptr<Picture>> all,
                             const std::vector<std::string>& files) {
  const int n = static_cast<int>(all.size());
  setPictures(std::move(all));
  status = kRead;
  error.clear();
  errorDetail.clear();
  if (beforePreviews) {
    beforePreviews(pictures);
  }
  const int unreadable =
      n > 0 && static_cast<int>(files.size()) == n
          ? buildPreviews(pictures, files, previewThreadsFor(n), previewCache.get(), progress)
          : 0;
  if (unreadable == kCancelledBuild) {
    return refuse(kCancelled, kCancelledReason);
  }
  if (unreadable >= 0) {
    Picture* picture = unreadable < n ? pictures[unreadable].get() : nullptr;
    refuse(kPictureUnreadable,
           picture == nullptr
               ? "Die Fotos fehlen."
               : "Das Foto " + files[unreadable] + " kann nicht als Bild von " +
                     std::to_string(picture->fullWidth) + " x " +
                     std::to_string(picture->fullHeight) + " Pixeln gelesen werden." +
                     readProblemText(picture, &errorDetail));
  }
  return status;
}
