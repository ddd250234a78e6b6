#include "panorama/Picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>

#include "camera/CamData.h"
#include "camera/GeneralCamera.h"
#include "panorama/BicubicResize.h"

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

// The picture file's longest accepted path; longer paths are cut there.
constexpr std::size_t kMaxFileName = 4999;

bool sameImage(const cv::Mat& a, const cv::Mat& b) { return a.data == b.data; }

}  // namespace

Picture::Picture(int id, int width, int height, double focalLength, double sensorWidth,
                 double sensorHeight, double altitude, double azimuth, float extra2, double extra1)
    : id(id),
      extra1(extra1),
      extra2(extra2),
      altitude(altitude),
      azimuth(azimuth),
      focalLength(focalLength),
      sensorWidth(sensorWidth),
      sensorHeight(sensorHeight),
      width(width),
      height(height),
      fullWidth(width),
      fullHeight(height),
      previewWidth(width),
      previewHeight(height) {
  char name[40];
  std::snprintf(name, sizeof name, "ID: %d", id);
  fileName = name;
}

Picture::~Picture() = default;

std::unique_ptr<Picture> Picture::forCamera(const CamData& camera, cv::Mat spare,
                                           bool clearSpare) {
  auto view = std::make_unique<Picture>(-1, camera.width, camera.height, camera.f,
                                        camera.sensorWidth, camera.sensorHeight, camera.altitude,
                                        camera.azimuth, 0.0f, -1.0);
  view->setPitch(camera.sensorWidth / static_cast<double>(camera.width));
  if (spare.rows == camera.height && spare.cols == camera.width && spare.type() == CV_8UC3 &&
      spare.isContinuous() && spare.u != nullptr && spare.u->refcount == 1) {
    if (clearSpare) {
      spare.setTo(cv::Scalar::all(0));
    }
    view->image = std::move(spare);
  }
  return view;
}

int Picture::lensPreviewSize(double longerDegrees, int longerPixels) {
  double wanted = kLensPreviewPixelsPerDegree * longerDegrees;
  if (!(wanted >= kPreviewSize)) {
    wanted = kPreviewSize;  // also for a field that is not a number
  }
  const int size = static_cast<int>(std::lround(std::min<double>(wanted, kMaxLensPreviewSize)));
  return std::max(1, std::min(size, longerPixels));
}

void Picture::setGeneralCamera(std::shared_ptr<const GeneralCamera> general) {
  Lock lock(mutex_);
  camera = std::move(general);
  if (camera) {
    previewSize = lensPreviewSize(longerSideDegrees(camera->lens.lens), std::max(fullWidth, fullHeight));
  } else {
    previewSize = kPreviewSize;
  }
}

void Picture::setPitch(double pitch) {
  Lock lock(mutex_);
  pixelPitch = basePitch = pitch;
  previewPitch = pitch / previewScale;
  if (sameImage(image, preview)) {
    pixelPitch = previewPitch;
  }
}

bool Picture::setFile(const std::string& path) {
  Lock lock(mutex_);
  fileName = path.substr(0, kMaxFileName);
  makePreview();
  if (preview.empty()) {
    return false;
  }
  showPreview();
  return true;
}

bool Picture::setFileWithPreview(const std::string& path, const cv::Mat& stored) {
  Lock lock(mutex_);
  if (id < 0 || stored.empty() || stored.type() != CV_8UC3) {
    return false;
  }
  describePreview();
  // The size and pitch makePreview's requestScale and applyRequestedScale
  // give for the preview size.
  if (stored.size() != sizeForTarget(previewWidth, previewHeight)) {
    return false;
  }
  fileName = path.substr(0, kMaxFileName);
  preview = stored;
  previewWidth = stored.cols;
  previewHeight = stored.rows;
  previewPitch = pitchAtSize(stored.cols, stored.rows);
  rescalePending = false;
  showPreview();
  return true;
}

cv::Size Picture::keptSize() const {
  Lock lock(mutex_);
  cv::Size size;
  if (keepDecodeAt > 0.0) {
    sizeAtScale(std::min(keepDecodeAt, 1.0), &size.width, &size.height);
  }
  return size;
}

cv::Mat Picture::keptImage() const {
  Lock lock(mutex_);
  return hasPrefetched_ ? prefetched_ : cv::Mat();
}

bool Picture::keepStoredImage(const cv::Mat& stored) {
  Lock lock(mutex_);
  const cv::Size size = keptSize();
  if (size.empty() || stored.size() != size || stored.type() != CV_8UC3 ||
      !offerPrefetched(stored)) {
    return false;
  }
  keepDecodeAt = 0.0;
  return true;
}

PictureFileProblem Picture::takeReadProblem(std::string* reason) {
  Lock lock(mutex_);
  *reason = readReason_;
  const PictureFileProblem problem = readProblem_;
  readProblem_ = PictureFileProblem::kNone;
  readReason_.clear();
  return problem;
}

void Picture::showPreview() {
  requestedScale = previewScale;
  image = preview;
  pixelPitch = previewPitch;
  keepCurrent = true;
  scaled = true;
  scaleX = scaleY = previewScale;
  width = preview.cols;
  height = preview.rows;
}

std::unique_ptr<Picture> Picture::copyWithoutImages() const {
  Lock lock(mutex_);
  auto copy = std::make_unique<Picture>(-2, width, height, focalLength, sensorWidth, sensorHeight,
                                        altitude, azimuth, extra2, extra1);
  copy->fileName = fileName;
  copy->pixelPitch = pixelPitch;
  copy->scaleX = scaleX;
  copy->scaleY = scaleY;
  copy->requestedScale = requestedScale;
  copy->scaled = scaled;
  copy->rescalePending = rescalePending;
  copy->fullWidth = fullWidth;
  copy->fullHeight = fullHeight;
  copy->basePitch = basePitch;
  copy->previewSize = previewSize;
  copy->camera = camera;
  copy->overlaps = overlaps;
  return copy;
}

cv::Mat Picture::acquireImage() {
  Lock lock(mutex_);
  const bool largerIsCurrent = !image.empty() && !sameImage(image, preview);
  if (!largerIsCurrent && !keepCurrent) {
    loadFullImage();
    const bool loaded = !image.empty() && !sameImage(image, preview);
    if (!loaded && !preview.empty()) {
      // The file vanished or changed since the preview was made, or reading
      // it threw: keep showing the preview, whose size fields still hold,
      // instead of describing it as the full image.
      image = preview;
    } else {
      // Describe the loaded image first (the full image, or the scaled image
      // the open kept for this request): a pending scale that cannot be
      // applied (the resize throws) or that rounds to the loaded size leaves
      // it current, and its fields must say so.
      describeSize(image.cols, image.rows);
      if (rescalePending && requestedScale != 1.0) {
        applyRequestedScale();
      } else {
        rescalePending = false;
      }
    }
  }
  ++useCount;
  return image;
}

void Picture::releaseImage() {
  Lock lock(mutex_);
  --useCount;
  if (useCount <= 0) {
    useCount = 0;
    revertToPreview();
  }
}

void Picture::revertToPreview() {
  Lock lock(mutex_);
  if (sameImage(image, preview)) {
    return;
  }
  image = preview;
  requestedScale = previewScale;
  pixelPitch = previewPitch;
  keepCurrent = true;
  scaleX = scaleY = previewScale;
  scaled = true;
  // A view picture has no preview: it keeps its described size, so that a
  // later acquireImage makes a blank image of that size again.
  width = preview.empty() ? previewWidth : preview.cols;
  height = preview.empty() ? previewHeight : preview.rows;
}

bool Picture::requestScale(int targetWidth, int targetHeight, cv::Mat* held) {
  Lock lock(mutex_);
  requestedScale = scaleForTarget(targetWidth, targetHeight);
  rescalePending = true;

  const bool soleHolder = useCount == 1 && held != nullptr && sameImage(*held, image);
  if (!soleHolder || inUse || keepCurrent) {
    return false;
  }
  if (largeEnoughFor(requestedScale)) {
    applyRequestedScale();
    *held = image;
    return true;
  }
  useCount = 0;
  revertToPreview();
  *held = acquireImage();
  rescalePending = false;
  return true;
}

void Picture::applyRequestedScale() {
  Lock lock(mutex_);
  if (image.empty()) {
    return;
  }
  int w = 0;
  int h = 0;
  sizeAtScale(requestedScale, &w, &h);
  if (image.cols != w || image.rows != h) {
    cv::Mat resized;
    if (!resizedTo(image, cv::Size(w, h), &resized)) {
      return;
    }
    // Dropping our reference frees the old image unless it is the preview.
    image = resized;
    describeSize(w, h);
  }
  rescalePending = false;
}

double Picture::scaleForTarget(int targetWidth, int targetHeight) const {
  const double sx = static_cast<double>(targetWidth) / fullWidth;
  const double sy = static_cast<double>(targetHeight) / fullHeight;
  const double s = std::fabs(1.0 - sy) <= std::fabs(1.0 - sx) ? sy : sx;
  return s < 1.0 ? s : 1.0;
}

bool Picture::largeEnoughFor(double scale) const {
  Lock lock(mutex_);
  // An image of exactly the size the request makes is large enough, also
  // where rounding put its mean scale a hair below the requested one.
  int w = 0;
  int h = 0;
  sizeAtScale(scale, &w, &h);
  const bool exact = image.cols == w && image.rows == h;
  return exact || (scaleX + scaleY) / 2.0 >= scale;
}

bool Picture::needsFileFor(int targetWidth, int targetHeight) const {
  Lock lock(mutex_);
  return id >= 0 && !largeEnoughFor(scaleForTarget(targetWidth, targetHeight));
}

void Picture::describeSize(int w, int h) {
  width = w;
  height = h;
  scaled = w != fullWidth || h != fullHeight;
  scaleX = scaled ? static_cast<double>(w) / fullWidth : 1.0;
  scaleY = scaled ? static_cast<double>(h) / fullHeight : 1.0;
  pixelPitch = pitchAtSize(w, h);
}

double Picture::pitchAtSize(int w, int h) const {
  if (w == fullWidth && h == fullHeight) {
    return basePitch;
  }
  return 2.0 * basePitch /
         (static_cast<double>(w) / fullWidth + static_cast<double>(h) / fullHeight);
}

void Picture::sizeAtScale(double scale, int* w, int* h) const {
  *w = static_cast<int>(std::floor(fullWidth * scale + 0.5));
  *h = static_cast<int>(std::floor(fullHeight * scale + 0.5));
}

bool Picture::decodeFile(const std::string& path, cv::Mat* out) {
  ++fileReads;
  PictureFileProblem problem = PictureFileProblem::kDamaged;
  std::string reason;
  bool decoded = true;
  try {
    // A lens photograph's positions are those of its pixels as stored.
    problem = readPictureFile(path, fullWidth, fullHeight, out, &reason);
  } catch (const std::exception& e) {
    out->release();
    reason = e.what();
    decoded = false;
  } catch (...) {
    out->release();
    reason = "unknown exception";
    decoded = false;
  }
  Lock lock(mutex_);
  readProblem_ = problem;
  readReason_ = reason;
  return decoded;
}

void Picture::loadFullImage() {
  Lock lock(mutex_);
  if (id < 0) {
    image = cv::Mat::zeros(height, width, CV_8UC3);
    return;
  }
  if (hasPrefetched_) {
    // A prefetched full decode, or the scaled image the open kept for the
    // first refinement (acquireImage describes it by its size).
    image = prefetched_;
    prefetched_.release();
    hasPrefetched_ = false;
    return;
  }
  cv::Mat loaded;
  if (decodeFile(fileName, &loaded)) {
    image = loaded;
  }
}

void Picture::prefetchFullImage(double scale) {
  {
    Lock lock(mutex_);
    if (hasPrefetched_) {
      return;  // no decode for an image that would not be kept
    }
  }
  cv::Mat decoded;
  if (decodeAt(scale, &decoded)) {
    offerPrefetched(decoded);
  }
}

bool Picture::decodeAt(double scale, cv::Mat* out) {
  std::string path;
  cv::Size size;
  {
    Lock lock(mutex_);
    if (id < 0) {
      return false;
    }
    path = fileName;
    sizeAtScale(std::min(scale, 1.0), &size.width, &size.height);
  }
  // Decoding and the resize the load would make take long and must not hold
  // the picture's lock.
  cv::Mat loaded;
  const bool decoded =
      decodeFile(path, &loaded) && (loaded.empty() || resizedTo(loaded, size, &loaded));
  *out = decoded ? loaded : cv::Mat();
  return decoded;
}

bool Picture::offerPrefetched(const cv::Mat& decoded) {
  Lock lock(mutex_);
  if (id < 0 || hasPrefetched_) {
    return false;
  }
  prefetched_ = decoded;
  hasPrefetched_ = true;
  return true;
}

void Picture::dropPrefetched() {
  Lock lock(mutex_);
  prefetched_.release();
  hasPrefetched_ = false;
}

void Picture::makePreview() {
  Lock lock(mutex_);
  if (id < 0) {
    return;
  }
  cv::Mat held = acquireImage();
  if (held.empty()) {
    releaseImage();
    return;
  }
  describePreview();
  const cv::Size kept = keptSize();
  if (!kept.empty() && !hasPrefetched_ && !sameImage(held, preview)) {
    // What the first refinement will make of the full decode stays for it:
    // the same resize of the same pixels (requestScale below resizes into a
    // new image and leaves the decode's pixels alone).
    hasPrefetched_ = resizedTo(held, kept, &prefetched_);  // else the refinement reads the file
    keepDecodeAt = 0.0;
  }
  if (requestScale(previewWidth, previewHeight, &held)) {
    preview = image.clone();
    previewWidth = preview.cols;
    previewHeight = preview.rows;
    previewPitch = pixelPitch;
    releaseImage();
    keepCurrent = true;
  } else {
    releaseImage();
  }
}

void Picture::describePreview() {
  const int longer = fullWidth > fullHeight ? fullWidth : fullHeight;
  previewScale = static_cast<double>(previewSize) / longer;
  sizeAtScale(previewScale, &previewWidth, &previewHeight);
}

bool Picture::tryLock(const void* owner) {
  bool expected = false;
  if (!inUse.compare_exchange_strong(expected, true)) {
    return false;
  }
  inUseBy = owner;
  return true;
}

bool Picture::unlock(const void* owner) {
  if (inUseBy.load() != owner) {
    return false;
  }
  inUseBy = nullptr;
  inUse = false;
  return true;
}

bool Picture::hasPartner(const Picture* picture) const {
  for (const OverlapRecord& record : overlaps) {
    if (record.partner == picture) {
      return true;
    }
  }
  return false;
}

int Picture::lengthToPixels(double length) const {
  return static_cast<int>(std::floor(length / pixelPitch + 0.5));
}

void Picture::currentSize(int* w, int* h, double* pitch) const {
  Lock lock(mutex_);
  *w = width;
  *h = height;
  *pitch = pixelPitch;
}

bool Picture::previewIsCurrent() const {
  Lock lock(mutex_);
  return sameImage(image, preview);
}
