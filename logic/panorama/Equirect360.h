#pragma once

#include <map>
#include <string>
#include <string_view>

#include "panorama/JpegHeader.h"

// A 360-degree photograph (equirectangular JPEG): which part of the sphere
// its pixels cover, worked out from the JPEG header alone.
//
// Directions use this viewer's angles in degrees: azimuth 0 is the start
// view and grows to the left (+180 is behind, reached by turning left);
// altitude 0 looks straight down, 90 at the horizon, 180 straight up. The
// full panorama's centre column looks at azimuth 0, its left edge at +180,
// its right edge at -180, its top edge at altitude 180 and its bottom edge at
// 0; columns are uniform in azimuth and rows uniform in altitude. Pixel
// (c, r) of the photograph, covering [c, c+1) x [r, r+1), has its centre at
//   azimuth  = azimuthLeft  - (c + 0.5) * (azimuthLeft - azimuthRight) / imageWidth
//   altitude = altitudeTop  - (r + 0.5) * (altitudeTop - altitudeBottom) / imageHeight.
struct Equirect360 {
  int imageWidth = 0;   // the photograph's pixels as stored (EXIF rotation not applied)
  int imageHeight = 0;
  // True when GPano metadata placed the photograph; false for a plain 2:1
  // photograph taken as the whole sphere.
  bool fromMetadata = false;
  // Photograph pixels per metadata pixel: the metadata's pixel numbers are
  // multiplied by it (1 unless the photograph was resized after the metadata
  // was written; the same factor across and down, within a pixel).
  double scale = 1.0;
  // The whole sphere's size in the photograph's pixels (rounded), and where
  // the photograph's top-left corner lies in it.
  int fullWidth = 0;
  int fullHeight = 0;
  int cropLeft = 0;
  int cropTop = 0;
  // The edges of the photograph as angles (degrees, conventions above):
  // azimuthLeft > azimuthRight, altitudeTop > altitudeBottom.
  double azimuthLeft = 180.0;
  double azimuthRight = -180.0;
  double altitudeTop = 180.0;
  double altitudeBottom = 0.0;
  // True when the photograph covers the whole sphere.
  bool wholeSphere = true;
  // The camera's pose from the metadata, in degrees (0 when absent): compass
  // heading of the full panorama's centre (0 ... 360, clockwise from north),
  // its pitch above the horizon (-90 ... 90) and roll (-180 ... 180). The
  // angles above do not include it.
  double headingDegrees = 0.0;
  double pitchDegrees = 0.0;
  double rollDegrees = 0.0;
};

// Largest photograph accepted, in pixels (checked before anything is decoded).
constexpr double kMax360Pixels = 200e6;

// Describes the photograph whose header is `header`. A photograph with GPano
// metadata (ProjectionType "equirectangular" and the full-panorama and
// cropped-area pixel numbers; missing numbers default to the whole
// photograph) is placed by it; one without is the whole sphere if its width
// is twice its height (within a pixel). Returns false and says why in German
// in *reason for other sizes, another projection, metadata that does not fit
// the photograph or itself, or more than kMax360Pixels pixels; *description
// is unchanged then.
bool describeEquirect360(const JpegHeader& header, Equirect360* description, std::string* reason);
// Reads the JPEG header of the file at `path` and describes it as above.
bool readEquirect360(const std::string& path, Equirect360* description, std::string* reason);

// The GPano values of an XMP packet by field name ("FullPanoWidthPixels"):
// attributes (PFX:Field="value", single or double quotes) and elements
// (<PFX:Field>value</PFX:Field>) for every prefix PFX that the packet binds
// to "http://ns.google.com/photos/1.0/panorama/" (at most 8 prefixes). The
// first occurrence of a field counts; values are as written (no entity
// decoding). Linear in the packet's length.
std::map<std::string, std::string> findGPanoValues(std::string_view xmp);
