#pragma once

#include <string>
#include <vector>

// A sound source: a smooth lobe of loudness around a direction (degrees, 90
// at the horizon, azimuth growing to the left).
struct SoundSource {
  double altitude = 90.0;
  double azimuth = 0.0;
  double width = 15.0;  // degrees at which the lobe has fallen to 1/e
  double level = 0.9;   // peak above the background
};

// One sound data set: a CSV file of values over the sphere of directions.
struct SoundSet {
  std::string fileName;
  std::string name;
  std::vector<SoundSource> sources;

  // The built-in sets: the source straight ahead of the start camera
  // (azimuth 0, altitude 90) alone, two other sources, and all of them.
  static std::vector<SoundSet> standard();

  // The grid of cols x rows values, row by row: row r covers the polar angles
  // (from straight up) [r pi / rows, (r + 1) pi / rows), column k the azimuths
  // [k 2pi / cols, (k + 1) 2pi / cols); each cell holds the background 0.05
  // plus every source's lobe at the cell's centre, kept within 0 ... 0.9999.
  std::vector<float> grid(int cols, int rows) const;

  // Writes the CSV file: "colsXrows", the name, then one line per row of
  // values written as one digit, ".", four digits, separated by ",".
  bool write(const std::string& path, int cols, int rows, std::string* error) const;
};
