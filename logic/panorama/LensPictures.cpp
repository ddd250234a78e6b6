#include "panorama/LensPictures.h"

#include <cmath>
#include <utility>

#include "base/Constants.h"
#include "base/TextFormat.h"
#include "camera/GeneralCamera.h"
#include "panorama/JpegHeader.h"
#include "panorama/Picture.h"

namespace {

// The lens checks' English reasons, as the user reads them.
std::string germanLensReason(const std::string& english) {
  static const std::pair<const char*, const char*> kReasons[] = {
      {"not positive", "Größe nicht positiv"},
      {"unknown projection", "unbekannte Projektion"},
      {"field of view", "Bildwinkel passt nicht zur Projektion"},
      {"not finite", "Wert keine endliche Zahl"},
      {"radial distortion", "Verzeichnung nimmt zur Bildmitte hin nicht zu"},
      {"crop rectangle", "Bildausschnitt leer oder außerhalb des Bildes"},
      {"fewer than 3 points", "Maske mit weniger als 3 Punkten"},
      {"white balance", "Weißabgleich nicht positiv"},
      {"exposure", "Belichtungswert außerhalb des Bereichs"},
      {"vignetting", "Vignettierung nicht überall positiv"},
  };
  for (const auto& [key, german] : kReasons) {
    if (english.find(key) != std::string::npos) return german;
  }
  return "Werte nicht verwendbar";
}

// Photographs of one lens share these values.
bool sameLens(const PtoImage& a, const PtoImage& b) {
  return a.width == b.width && a.height == b.height && a.projection == b.projection &&
         a.hfov == b.hfov && a.a == b.a && a.b == b.b && a.c == b.c && a.d == b.d && a.e == b.e;
}

// A picture of full size width x height holding `camera`, its direction the
// camera's axis.
std::unique_ptr<Picture> lensPicture(int id, std::shared_ptr<const GeneralCamera> camera) {
  const Lens& lens = camera->lens.lens;
  const Vec3& axis = camera->axis;
  const double altitude = std::acos(std::fmax(-1.0, std::fmin(1.0, -axis.y)));
  const double azimuth = std::atan2(axis.x, axis.z);
  auto picture = std::make_unique<Picture>(id, lens.width, lens.height, 0.0, 0.0, 0.0, altitude,
                                           azimuth, 0.0f, 0.0);
  picture->setPitch(Picture::kPhotoPitch);
  picture->setGeneralCamera(std::move(camera));
  return picture;
}

bool isGreyscaleJpeg(const std::string& path) {
  JpegHeader header;
  return readJpegHeader(path, &header, nullptr) == JpegRead::kRead && header.components == 1;
}

}  // namespace

bool lensPicturesOfProject(const PtoProject& project, LensPictures* out, std::string* reason) {
  const std::vector<PtoImage>& images = project.images;
  if (images.empty()) {
    *reason = "Das Projekt enthält keine Fotos.";
    return false;
  }
  double outputExposure = 0.0;
  for (const PtoImage& image : images) outputExposure += image.eev / images.size();

  LensPictures made;
  for (std::size_t i = 0; i < images.size(); ++i) {
    const PtoImage& image = images[i];
    Lens lens;
    lens.width = image.width;
    lens.height = image.height;
    if (!projectionFromCode(image.projection, &lens.projection)) {
      *reason = formatText("Bild %d (Zeile %d): unbekannte Projektion %d", image.index, image.line,
                           image.projection);
      return false;
    }
    lens.hfovDegrees = image.hfov;
    lens.a = image.a;
    lens.b = image.b;
    lens.c = image.c;
    lens.d = image.d;
    lens.e = image.e;
    if (image.crop.present) {
      lens.cropped = true;
      lens.cropLeft = image.crop.left;
      lens.cropRight = image.crop.right;
      lens.cropTop = image.crop.top;
      lens.cropBottom = image.crop.bottom;
    }
    // Its own masks, and the lens-wide ones drawn on any photograph of its lens.
    for (const PtoImage& other : images) {
      if (&other != &image && !sameLens(other, image)) continue;
      for (const PtoMask& mask : other.masks) {
        if (&other != &image && mask.type != 4) continue;
        LensMask copy;
        copy.type = mask.type;
        for (const PtoPoint& point : mask.points) copy.points.push_back({point.x, point.y});
        lens.masks.push_back(std::move(copy));
      }
    }
    PhotometricParams brightness;
    brightness.exposureValue = image.eev;
    brightness.redBalance = image.er;
    brightness.blueBalance = image.eb;
    brightness.va = image.va;
    brightness.vb = image.vb;
    brightness.vc = image.vc;
    brightness.vd = image.vd;
    brightness.vx = image.vx;
    brightness.vy = image.vy;
    brightness.vignettingMode = image.vm;
    brightness.greyscale = isGreyscaleJpeg(image.path);

    auto camera = std::make_shared<GeneralCamera>();
    std::string why;
    if (!makeGeneralCamera(lens, image.yaw, image.pitch, image.roll, brightness, outputExposure,
                           camera.get(), &why)) {
      *reason = formatText("Bild %d (Zeile %d): %s", image.index, image.line,
                           germanLensReason(why).c_str());
      return false;
    }
    made.pictures.push_back(lensPicture(static_cast<int>(i), std::move(camera)));
    made.files.push_back(image.path);
  }
  *out = std::move(made);
  return true;
}

Lens lensOf360(const Equirect360& d) {
  Lens lens;
  lens.projection = Projection::Equirectangular;
  lens.width = d.imageWidth;
  lens.height = d.imageHeight;
  const double across = d.azimuthLeft - d.azimuthRight;  // degrees
  lens.hfovDegrees = across;
  // Azimuth 0 lies at position azimuthLeft / across of the width, altitude
  // 90 at (altitudeTop - 90) / (altitudeTop - altitudeBottom) of the height.
  lens.d = d.azimuthLeft / across * d.imageWidth - d.imageWidth / 2.0;
  lens.e = (d.altitudeTop - 90.0) / (d.altitudeTop - d.altitudeBottom) * d.imageHeight -
           d.imageHeight / 2.0;
  return lens;
}

bool lensPicturesOf360(const Equirect360& description, const std::string& path,
                       LensPictures* out, std::string* reason) {
  auto camera = std::make_shared<GeneralCamera>();
  std::string why;
  if (!makeGeneralCamera(lensOf360(description), 0.0, description.pitchDegrees,
                         description.rollDegrees, PhotometricParams{}, 0.0, camera.get(), &why)) {
    *reason = "Die Aufnahmewerte des Fotos sind nicht verwendbar: " + germanLensReason(why);
    return false;
  }
  LensPictures made;
  made.pictures.push_back(lensPicture(0, std::move(camera)));
  made.files.push_back(path);
  *out = std::move(made);
  return true;
}

std::string projectionName(Projection projection) {
  switch (projection) {
    case Projection::Rectilinear:
      return "geradlinig";
    case Projection::Cylindrical:
      return "zylindrisch";
    case Projection::CircularFisheye:
      return "Fischauge (kreisförmig)";
    case Projection::FullFrameFisheye:
      return "Fischauge (Vollformat)";
    case Projection::Equirectangular:
      return "äquirektangulär";
    case Projection::Orthographic:
      return "Fischauge (orthografisch)";
    case Projection::Stereographic:
      return "Fischauge (stereografisch)";
    case Projection::Equisolid:
      return "Fischauge (flächentreu)";
  }
  return "unbekannt";
}
