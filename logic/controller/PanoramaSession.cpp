#include "controller/PanoramaSession.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <exception>
#include <vector>

#include "base/Logger.h"
#include "base/TextFormat.h"
#include "camera/GeneralCamera.h"
#include "geometry/APrioriOverlapper.h"
#include "geometry/Puzzler.h"
#include "panorama/Equirect360.h"
#include "panorama/LensPictures.h"
#include "panorama/OpenProgress.h"
#include "panorama/PicLoader.h"
#include "panorama/PicManager.h"
#include "panorama/Picture.h"
#include "panorama/PtoReader.h"

namespace {

// A sensor dimension as the information text shows it: truncated toward zero.
unsigned truncatedMillimetres(double value) {
  return value > 0.0 && value < 4294967296.0 ? static_cast<unsigned>(value) : 0u;
}

bool endsWith(const std::string& text, const char* ending) {
  std::string lower = text;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const std::string tail(ending);
  return lower.size() >= tail.size() && lower.compare(lower.size() - tail.size(), tail.size(), tail) == 0;
}

// "Projekt: 5 Fotos" and the projections they use, in the order first met.
std::string projectInfo(const PicManager& pictures, int disabled) {
  std::vector<Projection> used;
  for (const auto& picture : pictures.pictures) {
    const Projection p = picture->camera->lens.lens.projection;
    if (std::find(used.begin(), used.end(), p) == used.end()) used.push_back(p);
  }
  std::string text = formatText("Projekt: %d %s", pictures.pictureCount,
                                pictures.pictureCount == 1 ? "Foto" : "Fotos");
  if (disabled > 0) text += formatText(" (%d ausgeschaltet)", disabled);
  text += used.size() == 1 ? "\nProjektion: " : "\nProjektionen: ";
  for (std::size_t i = 0; i < used.size(); ++i) {
    text += (i ? ", " : "") + projectionName(used[i]);
  }
  return text;
}

// A 360-degree photograph's size, and the part of the sphere it covers when
// that is not the whole sphere.
std::string photo360Info(const Equirect360& d) {
  std::string text = formatText("360°-Foto: %d × %d Pixel", d.imageWidth, d.imageHeight);
  if (!d.wholeSphere) {
    text += formatText("\nBereich: Azimut %.1f° bis %.1f°, Höhe %.1f° bis %.1f°", d.azimuthLeft,
                       d.azimuthRight, d.altitudeBottom, d.altitudeTop);
  }
  return text;
}

}  // namespace

PanoramaSource PanoramaSession::sourceOf(const char* path) {
  const std::string name = path != nullptr ? path : "";
  if (endsWith(name, ".pto")) return PanoramaSource::Project;
  if (endsWith(name, ".jpg") || endsWith(name, ".jpeg")) return PanoramaSource::Photo360;
  return PanoramaSource::Description;
}

std::string PanoramaSession::missingFileMessage(const char* path) {
  switch (sourceOf(path)) {
    case PanoramaSource::Project:
      return "Projektdatei existiert nicht oder konnte nicht geöffnet werden!";
    case PanoramaSource::Photo360:
      return "360°-Foto existiert nicht oder konnte nicht geöffnet werden!";
    case PanoramaSource::Description:
      break;
  }
  return "XML-Datei existiert nicht oder konnte nicht geoeffnet werden!";
}

std::string PanoramaSession::readFailureMessage(const char* path) {
  switch (sourceOf(path)) {
    case PanoramaSource::Project:
      return "Fehler beim Lesen der Projektdatei!";
    case PanoramaSource::Photo360:
      return "Fehler beim Lesen des 360°-Fotos!";
    case PanoramaSource::Description:
      break;
  }
  return "Fehler beim lesen der XML-Datei!";
}

// The loader goes before the pictures it holds, the overlapper (which works
// on the collection) with the collection.
PanoramaSession::~PanoramaSession() {
  loader.reset();
  assembler.reset();
  overlapper.reset();
  pictures.reset();
}

std::unique_ptr<PanoramaSession> PanoramaSession::read(const char* path, std::string* reason,
                                                       const PreviewSetup& setup,
                                                       std::string* detail,
                                                       OpenProgress* progress) {
  auto session = std::make_unique<PanoramaSession>();
  session->overlapper = std::make_unique<APrioriOverlapper>();
  session->pictures = std::make_unique<PicManager>();
  session->pictures->previewCache = setup.cache;
  if (setup.keepDecodes) {
    PanoramaSession* made = session.get();
    session->pictures->beforePreviews = [made, &setup](const auto& all) {
      made->keptDecodes = setup.keepDecodes(all);
    };
  }
  session->pictures->progress = progress;
  session->overlapper->panorama = session->pictures.get();
  session->source = sourceOf(path);
  int status = PicManager::kNotLoaded;
  try {
    switch (session->source) {
      case PanoramaSource::Description:
        status = session->pictures->openPanorama(path);
        *reason = session->pictures->error;
        break;
      case PanoramaSource::Project:
        status = session->readProject(path, reason);
        break;
      case PanoramaSource::Photo360:
        status = session->readPhoto360(path, reason);
        break;
    }
  } catch (const std::exception& e) {
    *reason = std::string("Das Panorama kann nicht gelesen werden (") + e.what() + ").";
    status = PicManager::kNotLoaded;
  }
  session->pictures->beforePreviews = nullptr;
  session->pictures->progress = nullptr;  // not kept beyond the open
  if (status != PicManager::kRead) {
    if (detail != nullptr) {
      *detail = session->pictures->errorDetail;
    }
    return nullptr;
  }
  if (progress != nullptr && progress->cancel) {
    *reason = PicManager::kCancelledReason;
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
  loader->keepUntilFirstRefinement(std::move(keptDecodes));
  keptDecodes.clear();
  logger->log("PanController::openPanorama pcalculate Overlap");
  overlapper->calculateOverlap();
}

int PanoramaSession::readProject(const char* file, std::string* reason) {
  PtoReader reader;
  if (!reader.read(file)) {
    *reason = reader.error();
    return PicManager::kNotLoaded;
  }
  LensPictures made;
  if (!lensPicturesOfProject(reader.project(), &made, reason)) {
    return PicManager::kBadLayout;
  }
  const int status = pictures->openPictures(std::move(made.pictures), made.files);
  *reason = pictures->error;
  if (status == PicManager::kRead) {
    sourceInfo = projectInfo(*pictures, reader.project().disabledCount);
  }
  return status;
}

int PanoramaSession::readPhoto360(const char* file, std::string* reason) {
  Equirect360 description;
  if (!readEquirect360(file, &description, reason)) {
    return PicManager::kNotLoaded;
  }
  LensPictures made;
  if (!lensPicturesOf360(description, file, &made, reason)) {
    return PicManager::kBadLayout;
  }
  const int status = pictures->openPictures(std::move(made.pictures), made.files);
  *reason = pictures->error;
  if (status == PicManager::kRead) {
    sourceInfo = photo360Info(description);
  }
  return status;
}

std::string PanoramaSession::infoText() const {
  if (source != PanoramaSource::Description) {
    return sourceInfo;
  }
  return formatText("Objektiv: %s\nBrennweite: %u\nSensorgroesse: %ux%u", pictures->lensName.c_str(),
                    static_cast<unsigned>(pictures->focalLength),
                    truncatedMillimetres(pictures->sensorWidth),
                    truncatedMillimetres(pictures->sensorHeight));
}
