#pragma once

#include <string>
#include <vector>

// One photograph's group of seven values as the panorama description gives
// them (angles in degrees, sizes in pixels).
struct PhotoEntry {
  std::string idText;  // the ID element's text without blanks around it: the file name's base
  int id = 0;
  double altitude = 0.0;
  double azimuth = 0.0;
  int extra1 = 0;
  double extra2 = 0.0;
  int height = 0;
  int width = 0;
};

// What a panorama description file holds: the lens, the sensor and the
// photographs in file order, with the path of each photograph's file.
struct PanoramaDescription {
  std::string lensName;
  int focalLength = 0;
  double sensorWidth = 0.0;
  double sensorHeight = 0.0;
  std::vector<PhotoEntry> photos;
  std::vector<std::string> files;  // one per photo, same order
};

// Results of readXmlDescription (the collection's status codes).
constexpr int kDescriptionRead = 0;
constexpr int kDescriptionBadLayout = 1;  // structure not as required
constexpr int kDescriptionNotLoaded = 2;  // file missing or not well-formed XML

// Largest number of photographs a description may declare.
constexpr int kMaxDescribedPictures = 100000;
// Longest lens name kept (longer names are cut at a character boundary) and
// longest picture path accepted (a longer one rejects the file).
constexpr std::size_t kMaxLensName = 9999;
constexpr std::size_t kMaxPicturePath = 4999;
// Largest description file read (100000 photographs take about 20 MB).
constexpr std::size_t kMaxDescriptionBytes = 256u << 20;

// Reads the XML description at `path` by position (element names are never
// looked at): the count element, the camera element with the lens (name,
// focal length) and the sensor (width, height), and the pictures element with
// seven consecutive elements per photograph (ID, altitude, azimuth, extra1,
// extra2, height, width). Only a regular file is opened (never a pipe). Every
// number must be the element's whole text, blanks around it aside
// (readWholeNumber; integer fields cut a fraction toward zero); IDs must be
// 0 ... n-1 once each, sizes positive, angles at most kMaxAngleDegrees in
// magnitude, extra2 within the float range. The photographs' files are the
// description's directory (std::filesystem's parent path) + the trimmed ID
// text + ".jpg". Returns a status code; on failure *error says why in German
// for the user (file, element and line, what is wrong) and *out is
// unspecified.
int readXmlDescription(const char* path, PanoramaDescription* out, std::string* error);
