#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "panorama/Picture.h"
#include "panorama/XmlDescription.h"

class PreviewCache;
struct OpenProgress;

// The picture collection of one panorama: its photographs sorted by ID
// 0 ... n-1 and indexed by ID, with the lens and sensor of the description.
class PicManager {
 public:
  // Results of openPanorama.
  static constexpr int kRead = kDescriptionRead;
  static constexpr int kBadLayout = kDescriptionBadLayout;
  static constexpr int kNotLoaded = kDescriptionNotLoaded;
  static constexpr int kPictureUnreadable = 3;  // a photograph could not be read
  static constexpr int kCancelled = 4;          // progress->cancel stopped the previews
  static constexpr const char* kCancelledReason = "Das Öffnen wurde abgebrochen.";

  // Reads the description at `path` (readXmlDescription) and builds every
  // photograph's preview from its file; returns `status`. On any failure the
  // collection holds no pictures and `count` and `pictureCount` are 0.
  int openPanorama(const char* path);
  // The picture with `id`, or nullptr: its index slot when the collection
  // still holds it there, else a binary search of the sorted pictures.
  Picture* findById(int id) const;

  // A photograph of the description, with the fixed photograph pixel pitch;
  // counts it in `count`.
  std::unique_ptr<Picture> createPicture(const PhotoEntry& entry);
  // Bubble sort of `pictures` by ascending ID; equal IDs keep their order.
  // Rebuilds the index.
  void sortById();
  // Takes `all` as the collection (already in ID order) and indexes it.
  void setPictures(std::vector<std::unique_ptr<Picture>> all);

  // Opens a panorama made elsewhere (a stitcher project, a 360-degree
  // photograph): takes `all` (IDs 0 ... n-1 in that order, n >= 1) as the
  // collection and builds every preview from files[i], as openPanorama does.
  // Returns kRead, or kPictureUnreadable with a German reason in `error` and
  // the collection emptied when a photograph cannot be read at its size.
  int openPictures(std::vector<std::unique_ptr<Picture>> all, const std::vector<std::string>& files);

  int focalLength = 0;
  std::string lensName;
  double sensorWidth = 0.0;
  double sensorHeight = 0.0;
  int count = 0;
  int pictureCount = 0;
  std::vector<std::unique_ptr<Picture>> pictures;
  int status = 0;
  // Why the last openPanorama failed, in German for the log and the user;
  // empty after success.
  std::string error;
  // The English reason of the photograph that could not be read, for the
  // log; empty after success and for a missing photograph.
  std::string errorDetail;
  // Threads that read the photographs to build their previews; 0 uses one
  // per processor core. The result does not depend on it.
  int previewThreads = 0;
  // Where previews are looked up before a photograph is decoded and stored
  // after (see buildPreview); null: every photograph is decoded.
  std::shared_ptr<PreviewCache> previewCache;
  // Called with the pictures, their descriptions complete, before their
  // previews are built (for example to set keepDecodeAt on those the
  // first view will show).
  std::function<void(const std::vector<std::unique_ptr<Picture>>&)> beforePreviews;
  // Not owned; when set, the preview build reports its count there and
  // stops between photographs once its cancel flag is set (openPanorama and
  // openPictures then return kCancelled with the collection emptied).
  OpenProgress* progress = nullptr;

 private:
  void reindex();
  // Empties the collection and records a failed open: `code` and `reason`
  // (errorDetail is left to the caller). Returns `code`.
  int refuse(int code, const std::string& reason);
  // Threads for building the previews of `photographs`: previewThreads or
  // the machine's cores, at least 1 and at most one per photograph.
  int previewThreadsFor(int photographs) const;

  std::vector<Picture*> byId_;  // slot i: the picture with ID i, if any
};
