#include "sound/SoundPeak.h"

#include <cstddef>
#include <limits>
#include <vector>

#include "sound/SoundData.h"
#include "sound/SoundRays.h"

bool findSoundPeak(const SoundData& data, int index, SoundPeak* peak) {
  if (index < 0 || index >= data.count || index >= static_cast<int>(data.sizes.size()) ||
      index >= static_cast<int>(data.grids.size())) {
    return false;
  }
  const auto [cols, rows] = data.sizes[index];
  const std::vector<float>& grid = data.grids[index];
  if (cols < 1 || rows < 1 || grid.size() % static_cast<std::size_t>(cols) != 0 ||
      grid.size() > static_cast<std::size_t>(cols) * rows) {
    return false;
  }
  // Values read from files are never negative, so the cells the grid does
  // not hold (0, after all held ones) win only when every held value is 0
  // too, and then cell (0, 0) is the first of the equal ones anyway. NaN
  // (never read from a file) loses against everything.
  std::size_t best = 0;
  float bestValue = -std::numeric_limits<float>::infinity();
  for (std::size_t i = 0; i < grid.size(); ++i) {
    if (grid[i] > bestValue) {
      bestValue = grid[i];
      best = i;
    }
  }
  if (bestValue == -std::numeric_limits<float>::infinity()) {
    bestValue = 0.0f;
    best = 0;
  }
  SoundPeak found;
  found.row = static_cast<int>(best / static_cast<std::size_t>(cols));
  found.col = static_cast<int>(best % static_cast<std::size_t>(cols));
  found.value = bestValue;
  cellCentre(found.row, found.col, rows, cols, &found.altitude, &found.azimuth);
  *peak = found;
  return true;
}

bool soundPeakOf(const SoundData& data, int index, SoundPeak* peak) {
  if (index >= 0 && index < data.count && index < static_cast<int>(data.peaks.size())) {
    *peak = data.peaks[index];
    return true;
  }
  return findSoundPeak(data, index, peak);
}
