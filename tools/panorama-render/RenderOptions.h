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
  bool help = false;
};

// Parses argv; on failure returns false and sets *error to a one-line reason.
bool parseRenderOptions(int argc, char** argv, RenderOptions* options, std::string* error);

extern const char* const kRenderUsage;
