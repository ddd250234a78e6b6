#include "panorama/PicManager.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <thread>
#include <utility>

#include <tinyxml2.h>

#include "base/Constants.h"
#include "base/ParallelFor.h"
#include "base/TextNumbers.h"

namespace {

using tinyxml2::XMLElement;

// One photograph's group of seven values as read from the file.
struct Group {
  std::string idText;
  int id = 0;
  double altitude = 0.0;
  double azimuth = 0.0;
  int extra1 = 0;
  double extra2 = 0.0;
  int height = 0;
  int width = 0;
};

// Walks the document by position and collects what openPanorama needs;
// every check fails with a reason in `error`.
class LayoutReader {
 public:
  // The text of an element: the value of its first child node, which must be
  // a text node. Null (with a reason) when the element is missing or has no
  // such text.
  const char* text(const XMLElement* element, const std::string& what) {
    if (element == nullptr) {
      error = what + " is missing";
      return nullptr;
    }
    const tinyxml2::XMLNode* first = element->FirstChild();
    const tinyxml2::XMLText* node = first != nullptr ? first->ToText() : nullptr;
    if (node == nullptr || node->Value() == nullptr) {
      error = what + " (line " + std::to_string(element->GetLineNum()) + ") has no text";
      return nullptr;
    }
    return node->Value();
  }

  const XMLElement* element(const XMLElement* element, const std::string& what) {
    if (element == nullptr) {
      error = what + " is missing";
    }
    return element;
  }

  // The picture groups: seven consecutive elements each, exactly `declared`
  // of them. Stops at the first group beyond the count, so that a huge file
  // never makes more than `declared` groups.
  bool groups(const XMLElement* first, int declared, std::vector<Group>* out) {
    const XMLElement* element = first;
    while (element != nullptr) {
      const int index = static_cast<int>(out->size());
      if (index == declared) {
        error = "the file describes more pictures than the " + std::to_string(declared) +
                " it declares";
        return false;
      }
      const char* texts[7];
      for (int k = 0; k < 7; ++k) {
        if (element == nullptr) {
          error = "picture group " + std::to_string(index + 1) + " is incomplete: it has " +
                  std::to_string(k) + " of 7 values";
          return false;
        }
        const std::string what =
            "value " + std::to_string(k + 1) + " of 7 of picture group " + std::to_string(index + 1);
        texts[k] = text(element, what);
        if (texts[k] == nullptr) {
          return false;
        }
        element = element->NextSiblingElement();
      }
      Group group;
      group.idText = texts[0];
      group.id = textToInt(texts[0]);
      group.altitude = textToReal(texts[1]);
      group.azimuth = textToReal(texts[2]);
      group.extra1 = textToInt(texts[3]);
      group.extra2 = textToReal(texts[4]);
      group.height = textToInt(texts[5]);
      group.width = textToInt(texts[6]);
      out->push_back(std::move(group));
    }
    if (static_cast<int>(out->size()) != declared) {
      error = "the file declares " + std::to_string(declared) + " pictures but describes " +
              std::to_string(out->size());
      return false;
    }
    return true;
  }

  // IDs exactly 0 ... n-1 once each, usable sizes and directions.
  bool checkGroups(const std::vector<Group>& groups) {
    std::vector<bool> seen(groups.size(), false);
    for (const Group& group : groups) {
      const std::string which = "picture ID " + std::to_string(group.id);
      if (group.id < 0 || group.id >= static_cast<int>(groups.size())) {
        error = which + " lies outside 0 ... " + std::to_string(groups.size() - 1);
        return false;
      }
      if (seen[group.id]) {
        error = which + " appears more than once";
        return false;
      }
      seen[group.id] = true;
      if (group.width <= 0 || group.height <= 0) {
        error = which + " has no positive pixel size (" + std::to_string(group.width) + " x " +
                std::to_string(group.height) + ")";
        return false;
      }
      if (!std::isfinite(group.altitude) || !std::isfinite(group.azimuth)) {
        error = which + " has no finite altitude and azimuth";
        return false;
      }
    }
    return true;
  }

  std::string error;
};

// The lens name cut to `limit` bytes without splitting a UTF-8 sequence.
std::string cutText(const char* text, std::size_t limit) {
  std::string result(text);
  if (result.size() > limit) {
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(result[end]) & 0xC0) == 0x80) {
      --end;
    }
    result.resize(end);
  }
  return result;
}

// Builds the preview of pictures[i] from files[i] on `threads` threads; the
// photographs are taken in file order. Returns the index of the first
// photograph (in file order) that could not be read, or -1. After a failure
// no further photograph is started; as indices are handed out in ascending
// order, every photograph before a failed one has been tried, so the answer
// does not depend on the number of threads.
int buildPreviews(const std::vector<std::unique_ptr<Picture>>& pictures,
                  const std::vector<std::string>& files, int threads) {
  const int n = static_cast<int>(pictures.size());
  std::atomic<bool> failed{false};
  std::atomic<int> tried{0};
  std::vector<char> read(n, 0);  // each element written by one worker
  parallelItems(
      n,
      [&](int i) {
        bool good = false;
        try {
          good = pictures[i]->setFile(files[i]);
        } catch (...) {
          good = false;
        }
        read[i] = good ? 1 : 0;
        int seen = tried.load();
        while (seen < i + 1 && !tried.compare_exchange_weak(seen, i + 1)) {
        }
        if (!good) {
          failed = true;
        }
      },
      static_cast<unsigned>(threads), &failed);
  if (!failed) {
    return -1;
  }
  for (int i = 0; i < tried.load(); ++i) {
    if (!read[i]) {
      return i;
    }
  }
  return -1;
}

}  // namespace

int PicManager::openPanorama(const char* path) {
  pictures.clear();
  count = 0;
  pictureCount = 0;
  status = kRead;
  error.clear();
  auto fail = [this](int code, const std::string& reason) {
    pictures.clear();
    count = 0;
    pictureCount = 0;
    status = code;
    error = reason;
    return status;
  };

  if (path == nullptr) {
    return fail(kNotLoaded, "no panorama file given");
  }
  tinyxml2::XMLDocument document;
  if (document.LoadFile(path) != tinyxml2::XML_SUCCESS) {
    const char* why = document.ErrorStr();
    return fail(kNotLoaded, std::string("cannot read ") + path + ": " + (why ? why : "unknown error"));
  }

  LayoutReader reader;
  const XMLElement* root = document.FirstChildElement();
  if (root == nullptr || root->FirstChildElement() == nullptr) {
    return fail(kBadLayout, "the document has no root element with child elements");
  }
  const XMLElement* countElement = root->FirstChildElement();
  const char* countText = reader.text(countElement, "the picture count");
  if (countText == nullptr) {
    return fail(kBadLayout, reader.error);
  }
  const int declared = textToInt(countText);
  if (declared < 1 || declared > kMaxPictures) {
    return fail(kBadLayout, "the picture count " + std::to_string(declared) +
                                " lies outside 1 ... " + std::to_string(kMaxPictures));
  }

  const XMLElement* camera = reader.element(countElement->NextSiblingElement(), "the camera element");
  const XMLElement* lens = camera ? reader.element(camera->FirstChildElement(), "the lens element") : nullptr;
  const XMLElement* sensor = lens ? reader.element(lens->NextSiblingElement(), "the sensor element") : nullptr;
  const XMLElement* pictureList =
      camera ? reader.element(camera->NextSiblingElement(), "the pictures element") : nullptr;
  if (camera == nullptr || lens == nullptr || sensor == nullptr || pictureList == nullptr) {
    return fail(kBadLayout, reader.error);
  }
  const XMLElement* nameElement = lens->FirstChildElement();
  const char* nameText = reader.text(nameElement, "the lens name");
  const char* focalText =
      nameText ? reader.text(nameElement->NextSiblingElement(), "the focal length") : nullptr;
  const XMLElement* widthElement = sensor->FirstChildElement();
  const char* sensorWidthText =
      focalText ? reader.text(widthElement, "the sensor width") : nullptr;
  const char* sensorHeightText =
      sensorWidthText ? reader.text(widthElement->NextSiblingElement(), "the sensor height") : nullptr;
  if (sensorHeightText == nullptr) {
    return fail(kBadLayout, reader.error);
  }
  const int focal = textToInt(focalText);
  const double sensorW = textToReal(sensorWidthText);
  const double sensorH = textToReal(sensorHeightText);
  if (focal <= 0) {
    return fail(kBadLayout, "the focal length " + std::to_string(focal) + " mm is not positive");
  }
  if (!(std::isfinite(sensorW) && std::isfinite(sensorH) && sensorW > 0.0 && sensorH > 0.0)) {
    return fail(kBadLayout, "the sensor size is not positive");
  }

  std::vector<Group> groups;
  if (!reader.groups(pictureList->FirstChildElement(), declared, &groups) ||
      !reader.checkGroups(groups)) {
    return fail(kBadLayout, reader.error);
  }

  // The photographs lie beside the description: its path up to and including
  // the last slash or backslash.
  const std::string xmlPath(path);
  const std::size_t slash = xmlPath.find_last_of("/\\");
  const std::string directory = slash == std::string::npos ? "" : xmlPath.substr(0, slash + 1);
  std::vector<std::string> files;
  files.reserve(groups.size());
  for (const Group& group : groups) {
    files.push_back(directory + group.idText + ".jpg");
    if (files.back().size() > kMaxPicturePath) {
      return fail(kBadLayout, "the file path of picture ID " + std::to_string(group.id) +
                                  " is longer than " + std::to_string(kMaxPicturePath) +
                                  " characters");
    }
  }

  lensName = cutText(nameText, kMaxLensName);
  focalLength = focal;
  sensorWidth = sensorW;
  sensorHeight = sensorH;
  pictureCount = declared;
  pictures.resize(declared);
  for (const Group& group : groups) {
    id = group.id;
    altitude = group.altitude;
    azimuth = group.azimuth;
    extra1 = group.extra1;
    extra2 = group.extra2;
    height = group.height;
    width = group.width;
    std::unique_ptr<Picture> picture = createPicture();
    pictures[count - 1] = std::move(picture);
  }

  int threads = previewThreads > 0 ? previewThreads
                                   : static_cast<int>(std::thread::hardware_concurrency());
  threads = std::clamp(threads, 1, declared);
  const int unreadable = buildPreviews(pictures, files, threads);
  if (unreadable >= 0) {
    const Group& group = groups[unreadable];
    return fail(kPictureUnreadable,
                "the photograph " + files[unreadable] + " (picture ID " + std::to_string(group.id) +
                    ") cannot be read as a JPEG image of " + std::to_string(group.width) + " x " +
                    std::to_string(group.height) + " pixels");
  }

  sortById();
  return status;
}

std::unique_ptr<Picture> PicManager::createPicture() {
  auto picture = std::make_unique<Picture>(
      id, width, height, static_cast<double>(focalLength), sensorWidth, sensorHeight,
      altitude * kPi / 180.0, azimuth * kPi / 180.0, static_cast<float>(extra2),
      static_cast<double>(extra1));
  picture->setPitch(Picture::kPhotoPitch);
  ++count;
  return picture;
}

void PicManager::sortById() {
  const int slots = std::min(pictureCount, static_cast<int>(pictures.size()));
  for (int limit = slots - 1; limit >= 1; --limit) {
    for (int i = 0; i < limit; ++i) {
      if (pictures[i] && pictures[i + 1] && pictures[i]->id > pictures[i + 1]->id) {
        std::swap(pictures[i], pictures[i + 1]);
      }
    }
  }
}

Picture* PicManager::findById(int wanted) const {
  const int slots = std::min(pictureCount, static_cast<int>(pictures.size()));
  if (wanted >= 0 && wanted < slots && pictures[wanted] && pictures[wanted]->id == wanted) {
    return pictures[wanted].get();
  }
  int low = 0;
  int high = slots - 1;
  while (low <= high) {
    const int middle = (low + high) / 2;
    const Picture* picture = pictures[middle].get();
    if (picture == nullptr) {
      return nullptr;
    }
    if (picture->id == wanted) {
      return pictures[middle].get();
    }
    if (picture->id > wanted) {
      high = middle - 1;
    } else {
      low = middle + 1;
    }
  }
  return nullptr;
}
