#include "panorama/XmlDescription.h"

#include <cmath>
#include <utility>

#include <tinyxml2.h>

#include "base/TextNumbers.h"

namespace {

using tinyxml2::XMLElement;

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
  bool groups(const XMLElement* first, int declared, std::vector<PhotoEntry>* out) {
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
      PhotoEntry group;
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
  bool checkGroups(const std::vector<PhotoEntry>& groups) {
    std::vector<bool> seen(groups.size(), false);
    for (const PhotoEntry& group : groups) {
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

}  // namespace

int readXmlDescription(const char* path, PanoramaDescription* out, std::string* error) {
  auto fail = [error](int code, const std::string& reason) {
    *error = reason;
    return code;
  };

  if (path == nullptr) {
    return fail(kDescriptionNotLoaded, "no panorama file given");
  }
  tinyxml2::XMLDocument document;
  if (document.LoadFile(path) != tinyxml2::XML_SUCCESS) {
    const char* why = document.ErrorStr();
    return fail(kDescriptionNotLoaded, std::string("cannot read ") + path + ": " + (why ? why : "unknown error"));
  }

  LayoutReader reader;
  const XMLElement* root = document.FirstChildElement();
  if (root == nullptr || root->FirstChildElement() == nullptr) {
    return fail(kDescriptionBadLayout, "the document has no root element with child elements");
  }
  const XMLElement* countElement = root->FirstChildElement();
  const char* countText = reader.text(countElement, "the picture count");
  if (countText == nullptr) {
    return fail(kDescriptionBadLayout, reader.error);
  }
  const int declared = textToInt(countText);
  if (declared < 1 || declared > kMaxDescribedPictures) {
    return fail(kDescriptionBadLayout, "the picture count " + std::to_string(declared) +
                                " lies outside 1 ... " + std::to_string(kMaxDescribedPictures));
  }

  const XMLElement* camera = reader.element(countElement->NextSiblingElement(), "the camera element");
  const XMLElement* lens = camera ? reader.element(camera->FirstChildElement(), "the lens element") : nullptr;
  const XMLElement* sensor = lens ? reader.element(lens->NextSiblingElement(), "the sensor element") : nullptr;
  const XMLElement* pictureList =
      camera ? reader.element(camera->NextSiblingElement(), "the pictures element") : nullptr;
  if (camera == nullptr || lens == nullptr || sensor == nullptr || pictureList == nullptr) {
    return fail(kDescriptionBadLayout, reader.error);
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
    return fail(kDescriptionBadLayout, reader.error);
  }
  const int focal = textToInt(focalText);
  const double sensorW = textToReal(sensorWidthText);
  const double sensorH = textToReal(sensorHeightText);
  if (focal <= 0) {
    return fail(kDescriptionBadLayout, "the focal length " + std::to_string(focal) + " mm is not positive");
  }
  if (!(std::isfinite(sensorW) && std::isfinite(sensorH) && sensorW > 0.0 && sensorH > 0.0)) {
    return fail(kDescriptionBadLayout, "the sensor size is not positive");
  }

  std::vector<PhotoEntry> groups;
  if (!reader.groups(pictureList->FirstChildElement(), declared, &groups) ||
      !reader.checkGroups(groups)) {
    return fail(kDescriptionBadLayout, reader.error);
  }

  // The photographs lie beside the description: its path up to and including
  // the last slash or backslash.
  const std::string xmlPath(path);
  const std::size_t slash = xmlPath.find_last_of("/\\");
  const std::string directory = slash == std::string::npos ? "" : xmlPath.substr(0, slash + 1);
  std::vector<std::string> files;
  files.reserve(groups.size());
  for (const PhotoEntry& group : groups) {
    files.push_back(directory + group.idText + ".jpg");
    if (files.back().size() > kMaxPicturePath) {
      return fail(kDescriptionBadLayout, "the file path of picture ID " + std::to_string(group.id) +
                                  " is longer than " + std::to_string(kMaxPicturePath) +
                                  " characters");
    }
  }

  out->lensName = cutText(nameText, kMaxLensName);
  out->focalLength = focal;
  out->sensorWidth = sensorW;
  out->sensorHeight = sensorH;
  out->photos = std::move(groups);
  out->files = std::move(files);
  return kDescriptionRead;
}
