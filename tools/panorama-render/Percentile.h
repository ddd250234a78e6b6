#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

// The p-quantile (0 ... 1) of `values`, interpolated linearly between the
// two nearest ranks; 0 for no values. Used for the benchmarks' medians and
// 95th percentiles.
inline double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const double rank = p * static_cast<double>(values.size() - 1);
  const std::size_t low = static_cast<std::size_t>(std::floor(rank));
  const std::size_t high = std::min(low + 1, values.size() - 1);
  return values[low] + (values[high] - values[low]) * (rank - static_cast<double>(low));
}
