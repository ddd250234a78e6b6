#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class APrioriOverlapper;
class Logger;
class PicLoader;
class PicManager;
class Picture;
class PreviewCache;
class Puzzler;
struct OpenProgress;

// The kinds of file a panorama is opened from, told by the file name's
// ending: ".pto" (any case) a stitcher project, ".jpg" or ".jpeg" (any case)
// a 360-degree photograph, anything else the XML description.
enum class PanoramaSource { Description, Project, Photo360 };

// How the previews of a panorama being read are built: the preview cache
// (may be null), and a choice of the photographs whose full decode is kept
// for the first refinement (may be empty; returns them).
struct PreviewSetup {
  std::shared_ptr<PreviewCache> cache;
  std::function<std::vector<Picture*>(const std::vector<std::unique_ptr<Picture>>&)> keepDecodes;
};

// The objects of one open panorama: its pictures, the overlap determination,
// the view assembler and the loader. A session is built whole beside the
// open one and replaces it only once it has been read.
class PanoramaSession {
 public:
  ~PanoramaSession();

  static PanoramaSource sourceOf(const char* path);
  // The message the user reads when the file at `path` is missing or cannot
  // be opened, and when it cannot be read as a panorama (`reason`: the
  // reader's German reason, shown as a second paragraph; the description's
  // message stays as it always was).
  static std::string missingFileMessage(const char* path);
  static std::string readFailureMessage(const char* path);

  // Reads the panorama at `path` by its source and builds its view assembler
  // (which writes the weight image). nullptr on failure, with the reason in
  // *reason (may stay empty; German for projects and 360-degree photographs)
  // and, when a photograph could not be read, the English reason for the log
  // in *detail (if not null). With `progress` (not owned), the preview build
  // reports there and stops once its cancel flag is set; a cancelled read
  // returns nullptr.
  static std::unique_ptr<PanoramaSession> read(const char* path, std::string* reason,
                                               const PreviewSetup& setup = {},
                                               std::string* detail = nullptr,
                                               OpenProgress* progress = nullptr);
  // Creates the loader and computes the overlaps of all pairs: the session
  // is then ready for views.
  void prepare(Logger* logger);

  // The lens information text of the information box.
  std::string infoText() const;

  std::string path;
  PanoramaSource source = PanoramaSource::Description;
  // The information text of a project or a 360-degree photograph (made when
  // it is read); the description's is made from its lens and sensor.
  std::string sourceInfo;
  std::unique_ptr<PicManager> pictures;
  std::unique_ptr<APrioriOverlapper> overlapper;
  std::unique_ptr<Puzzler> assembler;
  // Shared with the free threads, which may still be freeing when the
  // session goes (they are waited for all the same).
  std::shared_ptr<PicLoader> loader;
  // The photographs that kept their full decode for the first refinement.
  std::vector<Picture*> keptDecodes;

 private:
  // The pictures of a stitcher project or a 360-degree photograph: a
  // PicManager status, with the German reason on failure.
  int readProject(const char* file, std::string* reason);
  int readPhoto360(const char* file, std::string* reason);
};
