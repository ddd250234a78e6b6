#include "SampleSound.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "base/Constants.h"
#include "camera/Frame.h"

namespace {

constexpr double kDegree = kPi / 180.0;
constexpr double kBackground = 0.05;

// The frame's viewing direction for (altitude, azimuth) in degrees.
Vec3 direction(double altitude, double azimuth) {
  return viewFrame(altitude * kDegree, azimuth * kDegree, 1.0, 1.0, 1.0).d;
}

const SoundSource kAhead{90.0, 0.0, 12.0, 0.9};
const SoundSource kLeft{100.0, 90.0, 18.0, 0.7};
const SoundSource kBehindHigh{140.0, 200.0, 20.0, 0.6};
const SoundSource kGroundRight{50.0, 300.0, 14.0, 0.5};

}  // namespace

std::vector<SoundSet> SoundSet::standard() {
  return {
      {"1-ahead.csv", "Quelle voraus (Azimut 0, Hoehe 90)", {kAhead}},
      {"2-left-and-behind.csv", "Quellen links (Azimut 90) und hinten oben (Azimut 200, Hoehe 140)",
       {kLeft, kBehindHigh}},
      {"3-all.csv", "Alle vier Quellen", {kAhead, kLeft, kBehindHigh, kGroundRight}},
  };
}

std::vector<float> SoundSet::grid(int cols, int rows) const {
  std::vector<Vec3> centres;
  for (const SoundSource& source : sources) {
    centres.push_back(direction(source.altitude, source.azimuth));
  }
  std::vector<float> values(static_cast<std::size_t>(cols) * rows);
  for (int r = 0; r < rows; ++r) {
    const double polar = (r + 0.5) * kPi / rows;
    for (int k = 0; k < cols; ++k) {
      const double azimuth = (k + 0.5) * 2.0 * kPi / cols;
      const Vec3 v{std::sin(polar) * std::sin(azimuth), std::cos(polar), std::sin(polar) * std::cos(azimuth)};
      double value = kBackground;
      for (std::size_t s = 0; s < sources.size(); ++s) {
        const double angle = std::acos(std::clamp(dot(v, centres[s]), -1.0, 1.0)) / kDegree;
        const double spread = angle / sources[s].width;
        value += sources[s].level * std::exp(-spread * spread);
      }
      values[static_cast<std::size_t>(r) * cols + k] = static_cast<float>(std::clamp(value, 0.0, 0.9999));
    }
  }
  return values;
}

bool SoundSet::write(const std::string& path, int cols, int rows, std::string* error) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    *error = "cannot write " + path;
    return false;
  }
  const std::vector<float> values = grid(cols, rows);
  out << cols << 'X' << rows << '\n' << name << '\n';
  std::string line;
  char value[16];
  for (int r = 0; r < rows; ++r) {
    line.clear();
    for (int k = 0; k < cols; ++k) {
      // Truncated to four decimals so that the value never rounds up to 1.
      const int tenThousandths = static_cast<int>(values[static_cast<std::size_t>(r) * cols + k] * 10000.0);
      std::snprintf(value, sizeof value, "%s%d.%04d", k == 0 ? "" : ",", tenThousandths / 10000,
                    tenThousandths % 10000);
      line += value;
    }
    out << line << '\n';
  }
  out.close();
  if (!out) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}
