#pragma once

// The virtual camera. Angles in radians (altitude 0 looks straight down, pi/2
// at the horizon, pi straight up; a larger azimuth turns the view to the
// image's left), lengths in millimetres, the canvas in pixels. The virtual
// sensor always has the canvas's aspect ratio and a height of 24 mm:
// sensorWidth = width / height * sensorHeight.
struct CamData {
  double azimuth = 0.0;
  double altitude = 1.5707963267948966;
  double f = 50.0;
  int width = 700;
  int height = 480;
  double sensorWidth = 35.0;
  double sensorHeight = 24.0;

  void updateSensorWidth() { sensorWidth = static_cast<double>(width) / height * sensorHeight; }
};
