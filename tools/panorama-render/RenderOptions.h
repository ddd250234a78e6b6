#pragma once

#include <string>

// The command line of panorama-render. Angles in degrees as typed.
struct RenderOptions {
  std::string panorama;
  std::string sound;
  int layer = 0;
  double alpha = -1.0;  // negative: not given (1 when --sound is given)
  int width = 700;
  int height = 480;
  double f = 50.0;
  double azimuth = 0.0;
  double altitude = 90.0;
  std::string out;
  int bench = -1;  // negative: no benchmark
  // A stitcher project of the view rendered (--out) or refined last
  // (--bench); empty: none.
  std::string writePto;
  // The sound map: cells below `threshold` (0 ... 1; negative: not given)
  // are not drawn; the legend and the peak marker are drawn into the image.
  double threshold = -1.0;
  bool legend = false;
  bool marker = false;
  bool peak = false;     // print the shown set's loudest direction instead
  int benchSound = -1;   // negative: no sound map benchmark
  int lanes = 8;         // widest vector lanes of the view assembly: 8, 4 or 1
  bool help = false;
};

// Parses argv; on failure returns false and sets *error to a one-line reason.
bool parseRenderOptions(int argc, char** argv, RenderOptions* options, std::string* error);

extern const char* const kRenderUsage;
