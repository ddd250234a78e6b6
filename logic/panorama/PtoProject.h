#pragma once

#include <string>
#include <vector>

// A stitcher project (".pto" file) as plain data: the photographs with
// everything that places them on the sphere and corrects their brightness.
//
// Angles are in degrees and use the stitcher's own sense: +yaw turns right,
// +pitch looks up, +roll turns the picture clockwise; yaw 0, pitch 0 is this
// viewer's azimuth 0, altitude 90 (azimuth = -yaw, altitude = 90 + pitch).
// Pixel positions are in the photograph as stored (EXIF rotation not
// applied), columns from the left, rows from the top.

// Photograph projections (the codes of an "i" line's f token; the "p" line
// uses another list).
enum PtoProjection {
  kPtoRectilinear = 0,
  kPtoCylindrical = 1,
  kPtoCircularFisheye = 2,
  kPtoFullFrameFisheye = 3,
  kPtoEquirectangular = 4,
  kPtoOrthographicFisheye = 8,
  kPtoStereographicFisheye = 10,
  kPtoEquisolidFisheye = 21,
};

// Part of the photograph to use, in pixels: columns [left, right), rows
// [top, bottom). For circular and orthographic fisheyes (2, 8) the usable
// area is the circle inscribed in it, and the rectangle is kept as written
// even where it reaches beyond the picture; for the other projections it is
// cut to the picture.
struct PtoCrop {
  bool present = false;  // false: the whole picture (or its inscribed circle)
  char token = 'S';      // 'S' or 'C', as written
  int left = 0;
  int right = 0;
  int top = 0;
  int bottom = 0;
};

struct PtoPoint {
  double x = 0.0;  // pixels from the left edge
  double y = 0.0;  // pixels from the top edge
};

// A polygon mask ("k" line) of one photograph.
struct PtoMask {
  // 0 excludes the inside, 1 includes only the inside, 2 and 3 are stack
  // masks, 4 excludes the inside on every photograph of the same lens (kept
  // here on the photograph it was drawn on).
  int type = 0;
  std::vector<PtoPoint> points;  // at least 3, in the file's order
};

struct PtoImage {
  int index = 0;       // position among the project's images (the file's numbering, from 0)
  int line = 0;        // the "i" (or, in older files, "o") line it came from, from 1
  int width = 0;       // w: pixels
  int height = 0;      // h: pixels
  int projection = kPtoRectilinear;  // f
  double hfov = 51.0;  // v: degrees across the full width
  double yaw = 0.0;    // y
  double pitch = 0.0;  // p
  double roll = 0.0;   // r
  double a = 0.0;      // radial distortion coefficients
  double b = 0.0;
  double c = 0.0;
  double d = 0.0;      // optical centre shift, pixels (horizontal)
  double e = 0.0;      // (vertical)
  double eev = 0.0;    // Eev: exposure value
  double er = 1.0;     // Er: red white-balance factor (> 0)
  double eb = 1.0;     // Eb: blue white-balance factor (> 0)
  double va = 1.0;     // Va ... Vd: vignetting polynomial
  double vb = 0.0;
  double vc = 0.0;
  double vd = 0.0;
  double vx = 0.0;     // Vx, Vy: vignetting centre offset, pixels
  double vy = 0.0;
  int vm = 5;          // Vm: vignetting mode (5 = radial, divide)
  PtoCrop crop;
  std::vector<PtoMask> masks;
  bool disabled = false;     // "#-hugin ... disabled"
  std::string fileName;      // n, as written
  std::string path;          // the photograph found on this computer
  // Whether the JPEG header confirmed width x height (false for other file
  // types, which are not looked into).
  bool sizeChecked = false;
  // EXIF orientation of a JPEG photograph (1 ... 8), 0 when absent: the
  // project's pixels are the stored ones, so a loader must not rotate them.
  int exifOrientation = 0;
};

struct PtoProject {
  std::string folder;             // the project file's folder (absolute)
  std::vector<PtoImage> images;   // the enabled photographs, in file order
  int disabledCount = 0;          // photographs marked disabled, left out of `images`
  // The "p" line (the stitched output), for information only; -1 when absent
  // or unreadable. Its projection codes are not those of PtoImage::projection.
  int panoramaProjection = -1;
  int panoramaWidth = -1;
  int panoramaHeight = -1;
  double panoramaHfov = -1.0;
};
