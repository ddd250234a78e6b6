#include "controller/PanoramaSession.h"

#include <exception>

#include "base/Logger.h"
#include "base/TextFormat.h"
#include "geometry/APrioriOverlapper.h"
#include "geometry/Puzzler.h"
#include "panorama/PicLoader.h"
#include "panorama/PicManager.h"

namespace {

// A sensor dimension as the information text shows it: truncated toward zero.
unsigned truncatedMillimetres(double value) {
  return value > 0.0 && value < 4294967296.0 ? static_cast<unsigned>(value) : 0u;
}

}  // namespace

// The loader goes before the pictures it holds, the overlapper (which works
// on the collection) with the collection.
PanoramaSession::~PanoramaSession() {
  loader.reset();
  assembler.reset();
  overlapper.reset();
  pictures.reset();
}

std::unique_ptr<PanoramaSession> PanoramaSession::read(const char* path, std::string* reason) {
  auto session = std::make_unique<PanoramaSession>();
  session->overlapper = std::make_unique<APrioriOverlapper>();
  session->pictures = std::make_unique<PicManager>();
  session->overlapper->panorama = session->pictures.get();
  int status = PicManager::kNotLoaded;
  try {
    status = session->pictures->openPanorama(path);
    *reason = session->pictures->error;
  } catch (const std::exception& e) {
    *reason = std::string("Das Panorama kann nicht gelesen werden (") + e.what() + ").";
  }
  if (status != PicManager::kRead) {
    return nullptr;
  }
  try {
    session->assembler = std::make_unique<Puzzler>("gaussStark", session->pictures.get());
  } catch (const std::exception& e) {
    // No picture 0, or no weight map could be built: not a usable panorama.
    *reason = std::string("Das Panorama kann nicht zusammengesetzt werden (") + e.what() + ").";
    return nullptr;
  }
  session->path = path;
  return session;
}

void PanoramaSession::prepare(Logger* logger) {
  loader = std::make_shared<PicLoader>(pictures->count, logger);
  logger->log("PanController::openPanorama pcalculate Overlap");
  overlapper->calculateOverlap();
}

std::string PanoramaSession::infoText() const {
  return formatText("Objektiv: %s\nBrennweite: %u\nSensorgroesse: %ux%u", pictures->lensName.c_str(),
                    static_cast<unsigned>(pictures->focalLength),
                    truncatedMillimetres(pictures->sensorWidth),
                    truncatedMillimetres(pictures->sensorHeight));
}
