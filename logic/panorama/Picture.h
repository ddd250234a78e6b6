#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "panorama/OverlapRecord.h"
#include "panorama/PictureFile.h"

struct CamData;
struct GeneralCamera;

// A photograph of the panorama (id 0 ... n-1), a view computed from the
// photographs (id -1) or a copy made for the free thread (id -2).
//
// A photograph always keeps a small preview (100 pixels on the longer side,
// more for a lens photograph that spans a wide field: see lensPreviewSize).
// A larger image, scaled to what the view needs, is loaded from the
// file on demand and dropped back to the preview when its last holder
// releases it. `image` may share its pixels with `preview` (same data
// pointer): then the preview is current.
//
// Thread safety: every operation that changes the current image or its size
// fields (acquireImage, releaseImage, revertToPreview, requestScale,
// applyRequestedScale, makePreview) runs under the picture's own recursive
// mutex, so a use count change and the drop to the preview are one step.
// Threads that read the size fields without holding the image use
// currentSize(). tryLock/unlock form a try-lock on `inUse`.
class Picture {
 public:
  // Millimetres per pixel of every photograph at full size (1 / 127.4).
  static constexpr double kPhotoPitch = 0.007849293563579277;
  static constexpr int kPreviewSize = 100;
  // Previews of lens photographs (stitcher projects, 360-degree photographs)
  // get about two pixels per degree of the field their longer side spans, so
  // that the quick view of a photograph covering much of the sphere stays
  // readable: at least kPreviewSize, at most kMaxLensPreviewSize pixels on the
  // longer side, and never more than the photograph has.
  static constexpr double kLensPreviewPixelsPerDegree = 2.0;
  static constexpr int kMaxLensPreviewSize = 1024;
  // The preview's longer side for a lens photograph whose longer side has
  // `longerPixels` pixels spanning `longerDegrees` degrees.
  static int lensPreviewSize(double longerDegrees, int longerPixels);

  Picture(int id, int width, int height, double focalLength, double sensorWidth,
          double sensorHeight, double altitude, double azimuth, float extra2, double extra1);
  ~Picture();
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  // The view picture of a camera: id -1, the camera's pixel size, focal
  // length, sensor and direction; pixelPitch = basePitch = sensorWidth / width.
  // Its image is black. When `spare` (typically the previous view's image)
  // has the camera's size and 8-bit three-channel pixels and nothing else
  // holds it, it becomes that image, which saves allocating and faulting in
  // megabytes for every view; it is cleared unless `clearSpare` is false
  // (for a caller that overwrites every pixel, or clears them itself where
  // it does not).
  static std::unique_ptr<Picture> forCamera(const CamData& camera, cv::Mat spare = cv::Mat(),
                                            bool clearSpare = true);

  void setPitch(double pitch);
  // Takes the file path and builds the preview from the file, which becomes
  // current. Returns false when the file could not be read (no preview).
  bool setFile(const std::string& path);
  // Takes the file path and `stored` as the preview, which becomes current,
  // exactly as setFile would have made it from the file (stored must be a
  // preview this picture made earlier from the same file: see previewRule in
  // PreviewBuild.h). Nothing is read. False, with nothing changed, when
  // `stored` has another size than setFile's preview would have.
  bool setFileWithPreview(const std::string& path, const cv::Mat& stored);
  // The size of the image keepDecodeAt keeps (empty when it keeps none).
  cv::Size keptSize() const;
  // The image kept for the first refinement (empty when none is kept).
  cv::Mat keptImage() const;
  // Takes `stored` (an image this picture kept at an earlier open of the
  // same file) as the kept image, as if it had just been
  // decoded and resized; false, with nothing changed, when nothing is to be
  // kept or `stored` has another size than keptSize.
  bool keepStoredImage(const cv::Mat& stored);
  // Why the last read of the file gave no image (kNone when it gave one or
  // when it was taken already) with the English reason for the log; the
  // problem is forgotten, so that it is reported once.
  PictureFileProblem takeReadProblem(std::string* reason);
  // id -2, same description and overlap records, no images.
  std::unique_ptr<Picture> copyWithoutImages() const;

  cv::Mat acquireImage();
  void releaseImage();
  void revertToPreview();
  // True when the request was carried out now; may replace *held.
  bool requestScale(int targetWidth, int targetHeight, cv::Mat* held);
  void applyRequestedScale();
  // The scale requestScale asks for with a target size: of the two axes'
  // scales the one nearer 1 (the height's on a tie), at most 1.
  double scaleForTarget(int targetWidth, int targetHeight) const;
  // The current image serves a request for `scale` without the file: it is
  // at least that large, or exactly the size the request makes.
  bool largeEnoughFor(double scale) const;
  // A forced request for the target size would read the picture's file.
  bool needsFileFor(int targetWidth, int targetHeight) const;
  // The image size applyRequestedScale makes for `scale`:
  // floor(full * scale + 0.5) on both axes.
  void sizeAtScale(double scale, int* w, int* h) const;
  // The image size a request for the target size makes.
  cv::Size sizeForTarget(int targetWidth, int targetHeight) const {
    cv::Size size;
    sizeAtScale(scaleForTarget(targetWidth, targetHeight), &size.width, &size.height);
    return size;
  }
  void loadFullImage();
  void makePreview();
  // Decodes the picture file ahead of a load that is about to need it, so
  // that several photographs can be decoded at once, and resizes the decode
  // to `scale` (below 1) as that load's request will; the next loadFullImage
  // takes the image instead of reading the file. Thread-safe.
  void prefetchFullImage(double scale = 1.0);
  // The decode of the picture file resized to `scale` into *out, exactly as
  // prefetchFullImage makes it, without keeping it (empty when the file gave
  // no image); false when decoding or resizing failed. Thread-safe.
  bool decodeAt(double scale, cv::Mat* out);
  // Keeps `decoded` (what decodeAt gave) for the next loadFullImage as if
  // prefetched, unless an image is kept already; whether it was kept.
  // Thread-safe.
  bool offerPrefetched(const cv::Mat& decoded);
  // Forgets a decoded image that no load took.
  void dropPrefetched();

  bool tryLock(const void* owner);
  bool unlock(const void* owner);
  bool hasPartner(const Picture* picture) const;
  // floor(length / pixelPitch + 0.5)
  int lengthToPixels(double length) const;

  // Makes this a lens photograph: `camera` (whose lens has this picture's
  // full size) projects it and its preview gets lensPreviewSize. Call
  // before setFile.
  void setGeneralCamera(std::shared_ptr<const GeneralCamera> camera);

  // Consistent snapshot of the current pixel size and pitch.
  void currentSize(int* width, int* height, double* pitch) const;
  // The current image is the preview (also when both are empty).
  bool previewIsCurrent() const;

  int id;
  std::vector<OverlapRecord> overlaps;
  double extra1;
  float extra2;
  double altitude;
  double azimuth;
  double focalLength;
  double sensorWidth;
  double sensorHeight;
  double pixelPitch = 0.0;
  int width;
  int height;
  double scaleX = 1.0;
  double scaleY = 1.0;
  double requestedScale = 1.0;
  bool scaled = false;
  bool rescalePending = false;
  int fullWidth;
  int fullHeight;
  double basePitch = 0.0;
  double previewPitch = 0.0;
  double previewScale = 1.0;
  int previewWidth;
  int previewHeight;
  int previewSize = kPreviewSize;  // the preview's longer side
  // The camera of a lens photograph; null for the XML description's
  // photographs (pinholes described by altitude, azimuth, focal length and
  // sensor) and for views.
  std::shared_ptr<const GeneralCamera> camera;
  std::atomic<bool> inUse{false};
  std::atomic<const void*> inUseBy{nullptr};
  std::atomic<bool> keepCurrent{false};
  std::string fileName;
  cv::Mat image;
  int useCount = 0;
  cv::Mat preview;

  // Number of times the picture file was read (for tests and benchmarks).
  std::atomic<int> fileReads{0};
  // Set before setFile to the scale the first refinement will request
  // (scaleForTarget of its target size): the image decoded for the preview
  // is kept, resized to that scale exactly as the refinement would resize
  // it, as if prefetched (see prefetchFullImage), so that the refinement
  // neither reads the file again nor holds more than it needs (a request
  // for another size resizes it or reads the file, as for any held image).
  // dropPrefetched frees it. 0: keep none.
  double keepDecodeAt = 0.0;

 private:
  // Decodes `path` into *out (empty when it cannot be read, is damaged or
  // has another size than described: see readPictureFile) and records the
  // problem; false when decoding threw.
  bool decodeFile(const std::string& path, cv::Mat* out);
  // The size fields (width, height, scaleX, scaleY, scaled, pixelPitch) of
  // a current image of w x h.
  void describeSize(int w, int h);
  // The pixel pitch of an image of w x h: the base pitch at full size, else
  // the base pitch over the mean of the two axis scales.
  double pitchAtSize(int w, int h) const;
  // The preview's scale and size fields for previewSize and the full size.
  void describePreview();
  // Makes the preview current after setFile or setFileWithPreview.
  void showPreview();

  mutable std::recursive_mutex mutex_;
  bool hasPrefetched_ = false;
  cv::Mat prefetched_;
  PictureFileProblem readProblem_ = PictureFileProblem::kNone;
  std::string readReason_;
};
