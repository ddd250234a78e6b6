#include "panorama/XmlDescription.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <filesystem>
#include <utility>

#include <tinyxml2.h>

#include "base/RegularFile.h"
#include "base/TextFormat.h"
#include "base/TextNumbers.h"
#include "camera/CameraLimits.h"

namespace {

using tinyxml2::XMLElement;

// What a value of a description means, for checking its range.
enum class Field { kId, kAngle, kExtraInt, kExtraReal, kPixels };

// The seven values of a picture group, in file order.
constexpr Field kGroupFields[7] = {Field::kId,       Field::kAngle,     Field::kAngle,
                                   Field::kExtraInt, Field::kExtraReal, Field::kPixels,
                                   Field::kPixels};

std::string lineOf(const XMLElement* element) {
  return "(Zeile " + std::to_string(element->GetLineNum()) + ")";
}

// The text as a user recognises it in a message: blanks around it removed,
// long texts shortened.
std::string quotedText(const char* text) {
  std::string shown(text);
  const std::size_t first = shown.find_first_not_of(" \t\r\n");
  const std::size_t last = shown.find_last_not_of(" \t\r\n");
  shown = first == std::string::npos ? "" : shown.substr(first, last - first + 1);
  if (shown.size() > 40) {
    std::size_t end = 40;
    while (end > 0 && (static_cast<unsigned char>(shown[end]) & 0xC0) == 0x80) --end;
    shown = shown.substr(0, end) + "…";
  }
  return "„" + shown + "“";
}

// Walks the document by position and collects what openPanorama needs;
// every check fails with a German reason in `error`.
class LayoutReader {
 public:
  // The text of an element: the value of its first child node, which must be
  // a text node. Null (with a reason) when the element is missing or has no
  // such text; `what` names the element for the user.
  const char* text(const XMLElement* element, const std::string& what) {
    if (element == nullptr) {
      error = what + " fehlt.";
      return nullptr;
    }
    const tinyxml2::XMLNode* first = element->FirstChild();
    const tinyxml2::XMLText* node = first != nullptr ? first->ToText() : nullptr;
    if (node == nullptr || node->Value() == nullptr) {
      error = what + " " + lineOf(element) + " hat keinen Text.";
      return nullptr;
    }
    return node->Value();
  }

  const XMLElement* element(const XMLElement* element, const std::string& what) {
    if (element == nullptr) {
      error = what + " fehlt.";
    }
    return element;
  }

  // Reads `text` as one whole number (integers truncated toward zero) into
  // *value, within [low, high]; `what` names the element.
  bool integer(const char* text, const XMLElement* element, const std::string& what, long long low,
               long long high, long long* value) {
    if (!readWholeInteger(text, value, true)) {
      error = what + " " + lineOf(element) + ": " + quotedText(text) + " ist keine Zahl.";
      return false;
    }
    if (*value < low || *value > high) {
      error = what + " " + lineOf(element) + ": " + quotedText(text) + " liegt nicht zwischen " +
              std::to_string(low) + " und " + std::to_string(high) + ".";
      return false;
    }
    return true;
  }

  // Reads `text` as one whole finite number into *value, at most `limit` in
  // magnitude.
  bool real(const char* text, const XMLElement* element, const std::string& what, double limit,
            double* value) {
    if (!readWholeNumber(text, value)) {
      error = what + " " + lineOf(element) + ": " + quotedText(text) + " ist keine Zahl.";
      return false;
    }
    if (!(std::fabs(*value) <= limit)) {
      error = what + " " + lineOf(element) + ": " + quotedText(text) +
              " liegt außerhalb des erlaubten Bereichs (Betrag höchstens " +
              formatText("%g", limit) + ").";
      return false;
    }
    return true;
  }

  // One value of a picture group into its field of *group.
  bool groupValue(const char* text, const XMLElement* element, int k, int index, int declared,
                  PhotoEntry* group) {
    const std::string what =
        "Element " + std::to_string(k + 1) + " der Fotogruppe " + std::to_string(index + 1);
    long long whole = 0;
    double real = 0.0;
    switch (kGroupFields[k]) {
      case Field::kId:
        if (!integer(text, element, what, 0, declared - 1, &whole)) return false;
        group->id = static_cast<int>(whole);
        group->idText = trimmedText(text);
        return true;
      case Field::kAngle:
        if (!this->real(text, element, what, kMaxAngleDegrees, &real)) return false;
        (k == 1 ? group->altitude : group->azimuth) = real;
        return true;
      case Field::kExtraInt:
        if (!integer(text, element, what, INT_MIN, INT_MAX, &whole)) return false;
        group->extra1 = static_cast<int>(whole);
        return true;
      case Field::kExtraReal:
        if (!this->real(text, element, what, FLT_MAX, &real)) return false;
        group->extra2 = real;
        return true;
      case Field::kPixels:
        if (!integer(text, element, what, 1, INT_MAX, &whole)) return false;
        (k == 5 ? group->height : group->width) = static_cast<int>(whole);
        return true;
    }
    return false;
  }

  // The picture groups: seven consecutive elements each, exactly `declared`
  // of them. Stops at the first group beyond the count, so that a huge file
  // never makes more than `declared` groups.
  bool groups(const XMLElement* first, int declared, std::vector<PhotoEntry>* out) {
    const XMLElement* element = first;
    while (element != nullptr) {
      const int index = static_cast<int>(out->size());
      if (index == declared) {
        error = "Die Datei beschreibt mehr Fotos als die angegebenen " + std::to_string(declared) +
                " " + lineOf(element) + ".";
        return false;
      }
      PhotoEntry group;
      for (int k = 0; k < 7; ++k) {
        if (element == nullptr) {
          error = "Fotogruppe " + std::to_string(index + 1) + " ist unvollständig: sie hat " +
                  std::to_string(k) + " von 7 Werten.";
          return false;
        }
        const std::string what =
            "Element " + std::to_string(k + 1) + " der Fotogruppe " + std::to_string(index + 1);
        const char* value = text(element, what);
        if (value == nullptr || !groupValue(value, element, k, index, declared, &group)) {
          return false;
        }
        element = element->NextSiblingElement();
      }
      out->push_back(std::move(group));
    }
    if (static_cast<int>(out->size()) != declared) {
      error = "Die Datei gibt " + std::to_string(declared) + " Fotos an, beschreibt aber " +
              std::to_string(out->size()) + ".";
      return false;
    }
    return true;
  }

  // Every ID once (the range was checked as each was read).
  bool checkIds(const std::vector<PhotoEntry>& groups) {
    std::vector<bool> seen(groups.size(), false);
    for (std::size_t i = 0; i < groups.size(); ++i) {
      const int id = groups[i].id;
      if (seen[id]) {
        error = "Fotogruppe " + std::to_string(i + 1) + ": die ID " + std::to_string(id) +
                " kommt mehrfach vor.";
        return false;
      }
      seen[id] = true;
    }
    return true;
  }

  static std::string trimmedText(const char* text) {
    const std::string all(text);
    const std::size_t first = all.find_first_not_of(" \t\r\n");
    const std::size_t last = all.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? "" : all.substr(first, last - first + 1);
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

// The photograph `idText`.jpg beside the description at `xmlPath`, by the
// platform's path rules (a backslash is an ordinary character here).
std::string photographPath(const std::string& xmlPath, const std::string& idText) {
  const std::filesystem::path directory = std::filesystem::path(xmlPath).parent_path();
  const std::string name = idText + ".jpg";
  return directory.empty() ? name : (directory / name).string();
}

}  // namespace

int readXmlDescription(const char* path, PanoramaDescription* out, std::string* error) {
  auto fail = [error](int code, const std::string& reason) {
    *error = reason;
    return code;
  };

  if (path == nullptr) {
    return fail(kDescriptionNotLoaded, "Es wurde keine Panoramadatei angegeben.");
  }
  // Read by this reader rather than the XML library's LoadFile, which would
  // open a named pipe and wait for it forever.
  std::string content;
  const FileProblem problem = readRegularFile(path, kMaxDescriptionBytes, &content);
  if (problem != FileProblem::kNone) {
    return fail(kDescriptionNotLoaded, describeFileProblem(problem, path));
  }
  tinyxml2::XMLDocument document;
  if (document.Parse(content.data(), content.size()) != tinyxml2::XML_SUCCESS) {
    return fail(kDescriptionNotLoaded, "„" + std::string(path) +
                                           "“ ist keine wohlgeformte XML-Datei (Fehler in Zeile " +
                                           std::to_string(document.ErrorLineNum()) + ").");
  }

  LayoutReader reader;
  const XMLElement* root = document.FirstChildElement();
  if (root == nullptr || root->FirstChildElement() == nullptr) {
    return fail(kDescriptionBadLayout, "Das Dokument hat kein Wurzelelement mit Unterelementen.");
  }
  const XMLElement* countElement = root->FirstChildElement();
  const char* countText = reader.text(countElement, "Die Fotoanzahl");
  long long declared = 0;
  if (countText == nullptr ||
      !reader.integer(countText, countElement, "Die Fotoanzahl", 1, kMaxDescribedPictures, &declared)) {
    return fail(kDescriptionBadLayout, reader.error);
  }

  const XMLElement* camera = reader.element(countElement->NextSiblingElement(), "Das Kameraelement");
  const XMLElement* lens = camera ? reader.element(camera->FirstChildElement(), "Das Objektivelement") : nullptr;
  const XMLElement* sensor = lens ? reader.element(lens->NextSiblingElement(), "Das Sensorelement") : nullptr;
  const XMLElement* pictureList =
      camera ? reader.element(camera->NextSiblingElement(), "Das Fotoelement") : nullptr;
  if (camera == nullptr || lens == nullptr || sensor == nullptr || pictureList == nullptr) {
    return fail(kDescriptionBadLayout, reader.error);
  }
  const XMLElement* nameElement = lens->FirstChildElement();
  const XMLElement* focalElement = nameElement ? nameElement->NextSiblingElement() : nullptr;
  const XMLElement* widthElement = sensor->FirstChildElement();
  const XMLElement* heightElement = widthElement ? widthElement->NextSiblingElement() : nullptr;
  const char* nameText = reader.text(nameElement, "Der Objektivname");
  const char* focalText = nameText ? reader.text(focalElement, "Die Brennweite") : nullptr;
  const char* sensorWidthText = focalText ? reader.text(widthElement, "Die Sensorbreite") : nullptr;
  const char* sensorHeightText =
      sensorWidthText ? reader.text(heightElement, "Die Sensorhöhe") : nullptr;
  if (sensorHeightText == nullptr) {
    return fail(kDescriptionBadLayout, reader.error);
  }
  long long focal = 0;
  double sensorW = 0.0;
  double sensorH = 0.0;
  if (!reader.integer(focalText, focalElement, "Die Brennweite", 1, INT_MAX, &focal) ||
      !reader.real(sensorWidthText, widthElement, "Die Sensorbreite", DBL_MAX, &sensorW) ||
      !reader.real(sensorHeightText, heightElement, "Die Sensorhöhe", DBL_MAX, &sensorH)) {
    return fail(kDescriptionBadLayout, reader.error);
  }
  if (!(sensorW > 0.0 && sensorH > 0.0)) {
    return fail(kDescriptionBadLayout, "Die Sensorgröße " + lineOf(widthElement) + " ist nicht positiv.");
  }

  std::vector<PhotoEntry> groups;
  if (!reader.groups(pictureList->FirstChildElement(), static_cast<int>(declared), &groups) ||
      !reader.checkIds(groups)) {
    return fail(kDescriptionBadLayout, reader.error);
  }

  // The photographs lie beside the description.
  std::vector<std::string> files;
  files.reserve(groups.size());
  for (const PhotoEntry& group : groups) {
    files.push_back(photographPath(path, group.idText));
    if (files.back().size() > kMaxPicturePath) {
      return fail(kDescriptionBadLayout, "Der Dateipfad des Fotos mit der ID " +
                                             std::to_string(group.id) + " ist länger als " +
                                             std::to_string(kMaxPicturePath) + " Zeichen.");
    }
  }

  out->lensName = cutText(nameText, kMaxLensName);
  out->focalLength = static_cast<int>(focal);
  out->sensorWidth = sensorW;
  out->sensorHeight = sensorH;
  out->photos = std::move(groups);
  out->files = std::move(files);
  return kDescriptionRead;
}
