#pragma once

#include <memory>
#include <string>

class APrioriOverlapper;
class Logger;
class PicLoader;
class PicManager;
class Puzzler;

// The objects of one open panorama: its pictures, the overlap determination,
// the view assembler and the loader. A session is built whole beside the
// open one and replaces it only once it has been read.
class PanoramaSession {
 public:
  ~PanoramaSession();

  // Reads the panorama at `path` and builds its view assembler (which writes
  // the weight image). nullptr on failure, with the reason for the log in
  // *reason (may stay empty).
  static std::unique_ptr<PanoramaSession> read(const char* path, std::string* reason);
  // Creates the loader and computes the overlaps of all pairs: the session
  // is then ready for views.
  void prepare(Logger* logger);

  // The lens information text of the information box.
  std::string infoText() const;

  std::string path;
  std::unique_ptr<PicManager> pictures;
  std::unique_ptr<APrioriOverlapper> overlapper;
  std::unique_ptr<Puzzler> assembler;
  // Shared with the free threads, which may still be freeing when the
  // session goes (they are waited for all the same).
  std::shared_ptr<PicLoader> loader;
};
