#pragma once

#include <string>
#include <vector>

// One ring of photographs at a common altitude, in degrees (0 straight down,
// 90 at the horizon, 180 straight up), spread evenly around the azimuth.
struct SampleRing {
  double altitude = 90.0;
  int count = 1;
};

// The viewing direction of one photograph, in degrees.
struct SampleDirection {
  double altitude = 90.0;
  double azimuth = 0.0;
};

// Where the sample photographs look: rings that together cover the sphere.
struct SampleLayout {
  std::vector<SampleRing> rings;

  // One photograph straight down, rings at 35, 70, 110 and 145 degrees with
  // 5, 8, 8 and 5 photographs, one straight up: 28 photographs. For
  // photographs of about 66 x 47 degrees every direction lies well inside
  // one of them.
  static SampleLayout standard();
  // "ALTITUDE:COUNT,ALTITUDE:COUNT,..." (altitudes 0 ... 180 in degrees,
  // counts 1 ... 1000). False with a reason for anything else.
  static bool parse(const std::string& text, SampleLayout* layout, std::string* error);
  // The text that parse reads back as this layout.
  std::string text() const;

  // The photographs' directions in ID order, ring by ring: photograph j of a
  // ring of n looks at azimuth j * 360 / n, plus half a step on every second
  // ring so that neighbouring rings are staggered.
  std::vector<SampleDirection> directions() const;
};
