#pragma once

#include <atomic>
#include <functional>

// How far the previews of an open have been built, and the request to stop
// it. Handed to PicManager (PicManager::progress) by whoever opens in the
// background; the decode threads write `total` and `done`, any thread may
// read them or set `cancel`.
struct OpenProgress {
  // Photographs whose preview is built, of `total` (0 until the description
  // or project has been read).
  std::atomic<int> done{0};
  std::atomic<int> total{0};
  // Set to stop the open: no further photograph is started, and the open
  // ends with PicManager::kCancelled.
  std::atomic<bool> cancel{false};
  // Called once with (0, total) when the previews start and after every
  // built preview with the new count; from the decode threads, possibly
  // several at once, so counts may arrive out of order. Must not throw.
  std::function<void(int done, int total)> changed;
};
