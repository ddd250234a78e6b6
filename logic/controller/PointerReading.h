#pragma once

#include <string>

#include "camera/CamData.h"

class SoundData;

// What lies under one pixel of the view: the direction of its ray and, with
// sound data loaded, the value of the shown set there (the cell the sound
// image paints at that pixel).
struct PointerReading {
  bool inView = false;    // the pixel lies inside the view and its ray has a direction
  double azimuth = 0.0;   // degrees; the camera's azimuth plus the ray's turn from it
                          // (-180 ... 180), so not wrapped, like the camera line
  double altitude = 0.0;  // degrees, 0 straight down, 90 the horizon, 180 straight up
  bool hasValue = false;  // sound data are loaded
  float value = 0.0f;
  int row = 0;            // the cell of the shown set (with hasValue)
  int col = 0;
};

// The reading for view pixel (column, row) of camera `camera` (its width and
// height the view's size), with set `layer` of `sound` (nullptr, not loaded
// or a layer it lacks: no value). Pure arithmetic, no allocation.
PointerReading readPointerAt(const CamData& camera, const SoundData* sound, int layer, int column,
                             int row);

// The German line for the status bar, UTF-8: "Azimut 12.34°, Höhe 95.00°",
// with ", Wert 0.4321" when there is a value; "" outside the view.
std::string pointerText(const PointerReading& reading);
