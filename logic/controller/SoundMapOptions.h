#pragma once

#include <atomic>

// How the sound map is drawn over the composed view: the threshold below
// which cells are not drawn (0 ... 1; at 0 every cell is drawn and the image
// is composed as without it), and whether the colour scale and the peak
// marker are drawn into the display image while a sound layer is visible.
struct SoundMapOptions {
  std::atomic<float> threshold{0.0f};
  std::atomic<bool> legend{false};
  std::atomic<bool> marker{false};
};
