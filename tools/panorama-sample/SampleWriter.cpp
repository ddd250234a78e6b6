#include "SampleWriter.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <tinyxml2.h>

#include "base/Constants.h"
#include "camera/GeneralCamera.h"
#include "SampleSound.h"
#include "panorama/Picture.h"

namespace {

constexpr int kMaxPhotoSide = 20000;
constexpr int kMaxPhotographs = 100000;
constexpr double kMaxGrain = 64.0;

// Round-trips through the reader's text to number conversion exactly.
std::string number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

void addValue(tinyxml2::XMLDocument& document, tinyxml2::XMLElement* parent, const char* name,
              const std::string& text) {
  tinyxml2::XMLElement* element = document.NewElement(name);
  element->SetText(text.c_str());
  parent->InsertEndChild(element);
}

}  // namespace

cv::Mat withGrain(const cv::Mat& photo, double sigma, int id) {
  if (!(sigma > 0.0) || photo.empty()) {
    return photo;
  }
  // One channel wide enough for every channel value, so that each gets its
  // own draw whatever the generator does with several channels.
  cv::Mat noise(photo.rows, photo.cols * photo.channels(), CV_32F);
  cv::RNG random(0x9E3779B97F4A7C15ULL ^ (static_cast<std::uint64_t>(id) + 1) * 0xBF58476D1CE4E5B9ULL);
  random.fill(noise, cv::RNG::NORMAL, 0.0, sigma);
  cv::Mat grainy;
  photo.convertTo(grainy, CV_32F);
  grainy += noise.reshape(photo.channels());
  cv::Mat result;
  grainy.convertTo(result, photo.type());
  return result;
}

double SampleOptions::focalPixels() const { return focalLength / Picture::kPhotoPitch; }

SampleOptions SampleOptions::small(const std::string& directory) {
  SampleOptions options;
  options.directory = directory;
  options.photoWidth = 660;
  options.photoHeight = 440;
  options.focalLength = 4;
  options.soundColumns = 72;
  options.soundRows = 36;
  return options;
}

SampleWriter::SampleWriter(SampleOptions options) : options_(std::move(options)) {}

std::string SampleWriter::descriptionPath() const {
  return (std::filesystem::path(options_.directory) / kDescriptionName).string();
}

std::string SampleWriter::panoramaPath() const {
  const char* name = options_.equirectWidth > 0 ? kPhoto360Name
                     : options_.project         ? kProjectName
                                                : kDescriptionName;
  return (std::filesystem::path(options_.directory) / name).string();
}

std::vector<ProjectPhoto> SampleWriter::projectPhotos() const {
  const SampleOptions& o = options_;
  Lens lens;
  lens.width = o.photoWidth;
  lens.height = o.photoHeight;
  projectionFromCode(o.projection, &lens.projection);
  lens.hfovDegrees = o.hfov > 0.0 ? o.hfov
                                  : radiansToDegrees(2.0 * std::atan(o.photoWidth / 2.0 / o.focalPixels()));
  lens.a = o.distortion[0];
  lens.b = o.distortion[1];
  lens.c = o.distortion[2];
  lens.d = o.shift[0];
  lens.e = o.shift[1];
  std::vector<ProjectPhoto> photos;
  const std::vector<SampleDirection> directions = o.layout.directions();
  for (std::size_t id = 0; id < directions.size(); ++id) {
    ProjectPhoto photo;
    photo.lens = lens;
    photo.yaw = -directions[id].azimuth;
    photo.pitch = directions[id].altitude - 90.0;
    photo.roll = o.roll;
    photo.exposureValue = id % 2 == 1 ? o.exposureSpread : 0.0;
    photo.fileName = std::to_string(id) + ".jpg";
    photos.push_back(photo);
  }
  return photos;
}

bool SampleWriter::check(std::string* error) const {
  const SampleOptions& o = options_;
  if (o.directory.empty()) {
    *error = "no output directory given";
    return false;
  }
  if (o.photoWidth < 16 || o.photoHeight < 16 || o.photoWidth > kMaxPhotoSide || o.photoHeight > kMaxPhotoSide) {
    *error = "the photograph size must lie between 16 and " + std::to_string(kMaxPhotoSide) + " pixels a side";
    return false;
  }
  if (o.focalLength < 1 || o.focalLength > 2000) {
    *error = "the focal length must be 1 ... 2000 mm";
    return false;
  }
  const std::size_t photographs = o.layout.directions().size();
  if (photographs == 0 || photographs > static_cast<std::size_t>(kMaxPhotographs)) {
    *error = "the layout must have 1 ... " + std::to_string(kMaxPhotographs) + " photographs";
    return false;
  }
  if (!(o.grain >= 0.0 && o.grain <= kMaxGrain)) {
    *error = "the grain must be 0 ... 64 grey levels";
    return false;
  }
  if (o.soundColumns < 1 || o.soundRows < 1 || o.soundColumns > 3600 || o.soundRows > 1800) {
    *error = "the sound grid must be 1 ... 3600 by 1 ... 1800 cells";
    return false;
  }
  if (o.project) {
    Projection projection;
    if (!projectionFromCode(o.projection, &projection)) {
      *error = "unknown projection code " + std::to_string(o.projection);
      return false;
    }
    if (!(o.exposureSpread >= -10.0 && o.exposureSpread <= 10.0)) {
      *error = "the exposure spread must be -10 ... 10 EV";
      return false;
    }
    GeneralCamera camera;
    std::string why;
    if (!makeGeneralCamera(projectPhotos().front().lens, 0.0, 0.0, o.roll, PhotometricParams{}, 0.0,
                           &camera, &why)) {
      *error = "the photographs' lens is unusable: " + why;
      return false;
    }
  }
  if (o.equirectWidth != 0 && (o.equirectWidth < 16 || o.equirectWidth > 2 * kMaxPhotoSide)) {
    *error = "the 360-degree photograph must be 16 ... " + std::to_string(2 * kMaxPhotoSide) +
             " pixels wide";
    return false;
  }
  return true;
}

bool SampleWriter::makeScene(SampleScene* scene, std::string* error) const {
  if (!options_.fromImage.empty()) {
    return SampleScene::load(options_.fromImage, scene, error);
  }
  *scene = SampleScene::builtInFor(options_.focalPixels());
  return true;
}

bool SampleWriter::writeDescription(std::string* error) const {
  const SampleOptions& o = options_;
  const std::vector<SampleDirection> directions = o.layout.directions();
  tinyxml2::XMLDocument document;
  document.InsertEndChild(document.NewDeclaration());
  tinyxml2::XMLElement* root = document.NewElement("panorama");
  document.InsertEndChild(root);
  root->InsertEndChild(document.NewComment(
      (" sample panorama: " + std::to_string(directions.size()) + " photographs of " +
       std::to_string(o.photoWidth) + " x " + std::to_string(o.photoHeight) + " pixels, layout " +
       o.layout.text() + " ")
          .c_str()));
  addValue(document, root, "pictureCount", std::to_string(directions.size()));

  tinyxml2::XMLElement* camera = document.NewElement("camera");
  root->InsertEndChild(camera);
  tinyxml2::XMLElement* lens = document.NewElement("lens");
  camera->InsertEndChild(lens);
  addValue(document, lens, "name", "Sample lens " + std::to_string(o.focalLength) + " mm");
  addValue(document, lens, "focalLength", std::to_string(o.focalLength));
  tinyxml2::XMLElement* sensor = document.NewElement("sensor");
  camera->InsertEndChild(sensor);
  addValue(document, sensor, "width", number(o.photoWidth * Picture::kPhotoPitch));
  addValue(document, sensor, "height", number(o.photoHeight * Picture::kPhotoPitch));

  tinyxml2::XMLElement* pictures = document.NewElement("pictures");
  root->InsertEndChild(pictures);
  pictures->InsertEndChild(document.NewComment(" per photograph: id, altitude, azimuth (degrees), "
                                               "extra1, extra2, height, width (pixels) "));
  for (std::size_t id = 0; id < directions.size(); ++id) {
    addValue(document, pictures, "id", std::to_string(id));
    addValue(document, pictures, "altitude", number(directions[id].altitude));
    addValue(document, pictures, "azimuth", number(directions[id].azimuth));
    addValue(document, pictures, "extra1", "0");
    addValue(document, pictures, "extra2", "0");
    addValue(document, pictures, "height", std::to_string(o.photoHeight));
    addValue(document, pictures, "width", std::to_string(o.photoWidth));
  }
  const std::string path = descriptionPath();
  if (document.SaveFile(path.c_str()) != tinyxml2::XML_SUCCESS) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

bool SampleWriter::write(const SampleScene& scene, std::string* error) const {
  if (!check(error)) {
    return false;
  }
  if (scene.empty()) {
    *error = "the scene is empty";
    return false;
  }
  const SampleOptions& o = options_;
  const std::filesystem::path directory(o.directory);
  const std::filesystem::path soundDirectory = directory / kSoundDirectory;
  std::error_code failure;
  std::filesystem::create_directories(soundDirectory, failure);
  if (failure || !std::filesystem::is_directory(soundDirectory)) {
    *error = "cannot create " + soundDirectory.string() + (failure ? ": " + failure.message() : "");
    return false;
  }

  if (!writePhotographs(scene, error)) {
    return false;
  }
  for (const SoundSet& set : SoundSet::standard()) {
    if (!set.write((soundDirectory / set.fileName).string(), o.soundColumns, o.soundRows, error)) {
      return false;
    }
  }
  if (o.equirectWidth > 0) {
    return true;
  }
  // Last, so that a directory with a description or project is complete.
  if (o.project) {
    std::ofstream out(panoramaPath(), std::ios::binary);
    out << projectText(projectPhotos());
    if (!out) {
      *error = "cannot write " + panoramaPath();
      return false;
    }
    return true;
  }
  return writeDescription(error);
}

bool SampleWriter::writePhotographs(const SampleScene& scene, std::string* error) const {
  const SampleOptions& o = options_;
  const std::filesystem::path directory(o.directory);
  if (o.equirectWidth > 0) {
    EquirectCrop crop = o.equirect;
    crop.fullWidth = o.equirectWidth;
    return writeEquirect(panoramaPath(), scene, crop, 92, error);
  }
  if (o.project) {
    const std::vector<ProjectPhoto> photos = projectPhotos();
    for (std::size_t id = 0; id < photos.size(); ++id) {
      cv::Mat image;
      if (!renderProjectPhoto(scene, photos[id], &image, error)) {
        return false;
      }
      const std::string path = (directory / photos[id].fileName).string();
      bool written = false;
      try {
        written = cv::imwrite(path, withGrain(image, o.grain, static_cast<int>(id)),
                              {cv::IMWRITE_JPEG_QUALITY, 92});
      } catch (const cv::Exception&) {
        written = false;
      }
      if (!written) {
        *error = "cannot write " + path;
        return false;
      }
    }
    return true;
  }
  const std::vector<SampleDirection> directions = o.layout.directions();
  const double focalPixels = o.focalPixels();
  for (std::size_t id = 0; id < directions.size(); ++id) {
    const cv::Mat photo = withGrain(scene.renderPhoto(degreesToRadians(directions[id].altitude),
                                                      degreesToRadians(directions[id].azimuth), focalPixels,
                                                      o.photoWidth, o.photoHeight),
                                    o.grain, static_cast<int>(id));
    const std::string path = (directory / (std::to_string(id) + ".jpg")).string();
    bool written = false;
    try {
      written = cv::imwrite(path, photo, {cv::IMWRITE_JPEG_QUALITY, 92});
    } catch (const cv::Exception&) {
      written = false;
    }
    if (!written) {
      *error = "cannot write " + path;
      return false;
    }
  }
  return true;
}

bool SampleWriter::run(std::string* error) const {
  if (!check(error)) {
    return false;
  }
  SampleScene scene;
  return makeScene(&scene, error) && write(scene, error);
}

bool writeSmallSample(const std::string& directory, std::string* error, SampleScene* scene) {
  const SampleWriter writer(SampleOptions::small(directory));
  SampleScene made;
  if (!writer.makeScene(&made, error) || !writer.write(made, error)) {
    return false;
  }
  if (scene != nullptr) {
    *scene = std::move(made);
  }
  return true;
}
