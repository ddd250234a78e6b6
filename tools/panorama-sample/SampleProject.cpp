#include "SampleProject.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <opencv2/imgcodecs.hpp>

#include "camera/GeneralCamera.h"
#include "camera/PhotoCamera.h"
#include "camera/Photometric.h"

namespace {

// Round-trips through any exact text to number conversion.
std::string number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

bool writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool encodeJpeg(const cv::Mat& image, int quality, std::vector<std::uint8_t>* bytes) {
  try {
    return cv::imencode(".jpg", image, *bytes, {cv::IMWRITE_JPEG_QUALITY, quality});
  } catch (const cv::Exception&) {
    return false;
  }
}

}  // namespace

std::array<std::uint8_t, 256> exposureTone(double eev) {
  std::array<std::uint8_t, 256> tone{};
  const double gain = std::exp2(-eev);
  for (int v = 0; v < 256; ++v) {
    tone[v] = static_cast<std::uint8_t>(
        std::lround(255.0 * linearToSrgb(srgbToLinear(v / 255.0) * gain)));
  }
  return tone;
}

const char* const kSampleProjectHead =
    "# stitcher project of a sample scene (panorama-sample)\n"
    "p f2 w4000 h2000 v360 E0 R0 n\"TIFF_m c:LZW\"\n"
    "m i0\n\n";

std::string projectText(const std::vector<ProjectPhoto>& photos, const std::string& head) {
  std::string text = head;
  for (const ProjectPhoto& photo : photos) {
    const Lens& l = photo.lens;
    text += "#-hugin  cropFactor=1\n";
    text += "i w" + std::to_string(l.width) + " h" + std::to_string(l.height) + " f" +
            std::to_string(static_cast<int>(l.projection)) + " v" + number(l.hfovDegrees) +
            " Ra0 Rb0 Rc0 Rd0 Re0 Eev" + number(photo.exposureValue) + " Er1 Eb1 r" +
            number(photo.roll) + " p" + number(photo.pitch) + " y" + number(photo.yaw) +
            " TrX0 TrY0 TrZ0 Tpy0 Tpp0 j0 a" + number(l.a) + " b" + number(l.b) + " c" +
            number(l.c) + " d" + number(l.d) + " e" + number(l.e) +
            " g0 t0 Va1 Vb0 Vc0 Vd0 Vx0 Vy0 Vm5";
    if (l.cropped) {
      text += " S" + std::to_string(static_cast<int>(l.cropLeft)) + "," +
              std::to_string(static_cast<int>(l.cropRight)) + "," +
              std::to_string(static_cast<int>(l.cropTop)) + "," +
              std::to_string(static_cast<int>(l.cropBottom));
    }
    text += " n\"" + photo.fileName + "\"\n";
  }
  text += "\n";
  for (std::size_t i = 0; i < photos.size(); ++i) {
    for (const LensMask& mask : photos[i].lens.masks) {
      text += "k i" + std::to_string(i) + " t" + std::to_string(mask.type) + " p\"";
      for (std::size_t k = 0; k < mask.points.size(); ++k) {
        text += (k ? " " : "") + number(mask.points[k].x) + " " + number(mask.points[k].y);
      }
      text += "\"\n";
    }
  }
  return text;
}

bool renderProjectPhoto(const SampleScene& scene, const ProjectPhoto& photo, cv::Mat* image,
                        std::string* error) {
  GeneralCamera camera;
  if (!makeGeneralCamera(photo.lens, photo.yaw, photo.pitch, photo.roll, PhotometricParams{},
                         0.0, &camera, error)) {
    return false;
  }
  const PhotoCamera through = PhotoCamera::lensCamera(&camera.lens, camera.rotation,
                                                      photo.lens.width, photo.lens.height);
  const std::array<std::uint8_t, 256> tone = exposureTone(photo.exposureValue);
  *image = scene.renderThrough(through, photo.lens.width, photo.lens.height,
                               photo.exposureValue != 0.0 ? &tone : nullptr);
  return true;
}

bool writeProject(const std::string& directory, const std::string& projectPath,
                  const SampleScene& scene, const std::vector<ProjectPhoto>& photos, int quality,
                  std::string* error) {
  for (const ProjectPhoto& photo : photos) {
    cv::Mat image;
    std::vector<std::uint8_t> bytes;
    if (!renderProjectPhoto(scene, photo, &image, error)) {
      *error = photo.fileName + ": " + *error;
      return false;
    }
    const std::string path = (std::filesystem::path(directory) / photo.fileName).string();
    if (!encodeJpeg(image, quality, &bytes) || !writeBytes(path, bytes)) {
      *error = "cannot write " + path;
      return false;
    }
  }
  std::ofstream out(projectPath, std::ios::binary);
  out << projectText(photos);
  if (!out) {
    *error = "cannot write " + projectPath;
    return false;
  }
  return true;
}

Lens equirectLens(const EquirectCrop& crop) {
  const int fullHeight = crop.fullWidth / 2;
  const int width = crop.width > 0 ? crop.width : crop.fullWidth;
  const int height = crop.height > 0 ? crop.height : fullHeight;
  Lens lens;
  lens.projection = Projection::Equirectangular;
  lens.width = width;
  lens.height = height;
  lens.hfovDegrees = 360.0 * width / crop.fullWidth;
  // The optical axis (azimuth 0 on the horizon) is the full panorama's centre.
  lens.d = crop.fullWidth / 2.0 - crop.left - width / 2.0;
  lens.e = fullHeight / 2.0 - crop.top - height / 2.0;
  return lens;
}

std::vector<std::uint8_t> withXmp(const std::vector<std::uint8_t>& jpeg, const std::string& xmp) {
  static const char kXmpName[] = "http://ns.adobe.com/xap/1.0/";
  std::size_t at = 2;  // after the start marker
  if (jpeg.size() > 5 && jpeg[2] == 0xFF && jpeg[3] == 0xE0) {
    at = 4 + (static_cast<std::size_t>(jpeg[4]) << 8 | jpeg[5]);
  }
  const std::size_t length = 2 + sizeof kXmpName + xmp.size();
  std::vector<std::uint8_t> segment = {0xFF, 0xE1, static_cast<std::uint8_t>(length >> 8),
                                       static_cast<std::uint8_t>(length & 0xFF)};
  segment.insert(segment.end(), kXmpName, kXmpName + sizeof kXmpName);  // with its 0
  segment.insert(segment.end(), xmp.begin(), xmp.end());
  std::vector<std::uint8_t> out(jpeg.begin(), jpeg.begin() + static_cast<long>(std::min(at, jpeg.size())));
  out.insert(out.end(), segment.begin(), segment.end());
  if (at < jpeg.size()) out.insert(out.end(), jpeg.begin() + static_cast<long>(at), jpeg.end());
  return out;
}

bool writeEquirect(const std::string& path, const SampleScene& scene, const EquirectCrop& crop,
                   int quality, std::string* error) {
  const Lens lens = equirectLens(crop);
  const int fullHeight = crop.fullWidth / 2;
  if (crop.fullWidth < 16 || crop.left < 0 || crop.top < 0 ||
      crop.left + lens.width > crop.fullWidth || crop.top + lens.height > fullHeight) {
    *error = "the 360-degree photograph's part lies outside its whole panorama";
    return false;
  }
  ProjectPhoto photo;
  photo.lens = lens;
  cv::Mat image;
  if (!renderProjectPhoto(scene, photo, &image, error)) {
    return false;
  }
  std::vector<std::uint8_t> bytes;
  if (!encodeJpeg(image, quality, &bytes)) {
    *error = "cannot encode " + path;
    return false;
  }
  const bool cropped = lens.width != crop.fullWidth || lens.height != fullHeight;
  if (crop.metadata || cropped) {
    const std::string xmp =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
        "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
        "rdf:about=\"\" xmlns:GPano=\"http://ns.google.com/photos/1.0/panorama/\" "
        "GPano:ProjectionType=\"equirectangular\" GPano:UsePanoramaViewer=\"True\" "
        "GPano:FullPanoWidthPixels=\"" + std::to_string(crop.fullWidth) +
        "\" GPano:FullPanoHeightPixels=\"" + std::to_string(fullHeight) +
        "\" GPano:CroppedAreaImageWidthPixels=\"" + std::to_string(lens.width) +
        "\" GPano:CroppedAreaImageHeightPixels=\"" + std::to_string(lens.height) +
        "\" GPano:CroppedAreaLeftPixels=\"" + std::to_string(crop.left) +
        "\" GPano:CroppedAreaTopPixels=\"" + std::to_string(crop.top) +
        "\"/></rdf:RDF></x:xmpmeta>";
    bytes = withXmp(bytes, xmp);
  }
  if (!writeBytes(path, bytes)) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}
