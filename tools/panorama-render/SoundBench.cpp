#include "SoundBench.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "Percentile.h"
#include "controller/PanController.h"
#include "sound/SoundData.h"
#include "sound/SoundPeak.h"

namespace {

using Clock = std::chrono::steady_clock;

double microsecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

}  // namespace

void runSoundBench(PanController& controller, const std::string& soundDirectory, int width,
                   int height, int steps) {
  // Readings under the pointer at pixels spread over the view (a fixed
  // pseudo-random walk, the same in every run).
  std::vector<double> pointer;
  unsigned state = 12345;
  double checksum = 0.0;
  for (int i = 0; i < steps; ++i) {
    state = state * 1103515245u + 12345u;
    const int column = static_cast<int>((state >> 8) % static_cast<unsigned>(width));
    state = state * 1103515245u + 12345u;
    const int row = static_cast<int>((state >> 8) % static_cast<unsigned>(height));
    const auto start = Clock::now();
    const PointerReading reading = controller.readPointer(column, row);
    pointer.push_back(microsecondsSince(start));
    checksum += reading.value;
  }

  // The peak search as the load runs it, on each set of the directory read
  // again: the slowest set's median.
  SoundData data;
  data.load(soundDirectory.c_str());
  double peakMs = 0.0;
  long long cells = 0;
  for (int set = 0; set < data.count; ++set) {
    std::vector<double> runs;
    for (int i = 0; i < std::min(steps, 1000); ++i) {
      SoundPeak found;
      const auto start = Clock::now();
      findSoundPeak(data, set, &found);
      runs.push_back(microsecondsSince(start) / 1000.0);
    }
    if (percentile(runs, 0.5) >= peakMs) {
      peakMs = percentile(runs, 0.5);
      cells = static_cast<long long>(data.sizes[set].first) * data.sizes[set].second;
    }
  }

  std::vector<double> threshold;
  std::vector<double> alpha;
  for (int i = 0; i < steps; ++i) {
    auto start = Clock::now();
    controller.setThresholdValue(i % 2 == 0 ? 0.5 : 0.25);
    threshold.push_back(microsecondsSince(start) / 1000.0);
  }
  controller.setThresholdValue(0.0);
  for (int i = 0; i < steps; ++i) {
    auto start = Clock::now();
    controller.setTransValue(i % 2 == 0 ? 75 : 50);
    alpha.push_back(microsecondsSince(start) / 1000.0);
  }

  std::printf(
      "{\"width\":%d, \"height\":%d, \"steps\":%d, \"pointer_us_median\":%.3f, "
      "\"pointer_us_p95\":%.3f, \"pointer_us_max\":%.3f, \"cells\":%lld, \"peak_ms\":%.4f, "
      "\"threshold_ms_median\":%.3f, \"threshold_ms_p95\":%.3f, \"alpha_ms_median\":%.3f, "
      "\"alpha_ms_p95\":%.3f, \"checksum\":%.4f}\n",
      width, height, steps, percentile(pointer, 0.5), percentile(pointer, 0.95),
      percentile(pointer, 1.0), cells, peakMs, percentile(threshold, 0.5),
      percentile(threshold, 0.95), percentile(alpha, 0.5), percentile(alpha, 0.95), checksum);
}
