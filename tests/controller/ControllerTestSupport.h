#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "controller/PanController.h"
#include "support/RecordingGui.h"
#include "support/TempDir.h"

namespace controllertest {

using namespace std::chrono_literals;

// The controller's log, as far as it is written.
inline std::string logText() { return readWholeFile("vemraLogic.log"); }

// How often the step entry `message` occurs in `log`.
inline int countEntries(const std::string& log, const std::string& message) {
  const std::string needle = "\t" + message + "\n";
  int count = 0;
  for (std::size_t at = log.find(needle); at != std::string::npos;
       at = log.find(needle, at + needle.size())) {
    // A step entry starts right after the time line's line feed.
    if (at > 0 && log[at - 1] == '\n') {
      ++count;
    }
  }
  return count;
}

inline int countEntries(const std::string& message) { return countEntries(logText(), message); }

// Polls `condition` every few milliseconds; false when it stays false for
// `timeout` (generous: the sanitizer builds are slow).
inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds timeout = 20000ms) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

inline bool waitForEntries(const std::string& message, int count,
                           std::chrono::milliseconds timeout = 20000ms) {
  return waitFor([&] { return countEntries(message) >= count; }, timeout);
}

// A clock in whole seconds that the test moves by hand.
struct ManualClock {
  std::shared_ptr<std::atomic<std::time_t>> now = std::make_shared<std::atomic<std::time_t>>(1000);
  std::function<std::time_t()> function() const {
    auto shared = now;
    return [shared] { return shared->load(); };
  }
  void advance(std::time_t seconds) { *now += seconds; }
};

// A clock on which every reading is a second after the one before: any
// firing of the settle timer finds the controller quiet long enough.
inline std::function<std::time_t()> alwaysQuietClock() {
  auto counter = std::make_shared<std::atomic<std::time_t>>(1000);
  return [counter] { return counter->fetch_add(1); };
}

// Makes the settle timer fast and its quiet-time check always pass.
inline void makeTimerFast(PanController& controller, std::chrono::milliseconds delay = 40ms) {
  controller.settleDelay = delay;
  controller.clock = alwaysQuietClock();
}

inline void writeFile(const std::filesystem::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

// A sound data directory with one CSV file per entry of `sets`: a grid of
// cols x rows cells all holding `value` (written with four decimals).
struct SoundGrid {
  std::string name;
  int cols;
  int rows;
  const char* value;
};

inline std::string writeSoundDirectory(const std::filesystem::path& directory,
                                       const std::vector<SoundGrid>& sets) {
  std::filesystem::create_directories(directory);
  int index = 0;
  for (const SoundGrid& set : sets) {
    std::string text = std::to_string(set.cols) + "X" + std::to_string(set.rows) + "\n" + set.name + "\n";
    for (int row = 0; row < set.rows; ++row) {
      for (int col = 0; col < set.cols; ++col) {
        text += (col ? "," : "");
        text += set.value;
      }
      text += "\n";
    }
    writeFile(directory / ("set" + std::to_string(index++) + ".csv"), text);
  }
  return directory.string();
}

// True when every pixel of `image` is (b, g, r).
inline bool allPixels(const cv::Mat& image, int b, int g, int r) {
  if (image.empty() || image.type() != CV_8UC3) {
    return false;
  }
  for (int y = 0; y < image.rows; ++y) {
    for (int x = 0; x < image.cols; ++x) {
      const cv::Vec3b& p = image.at<cv::Vec3b>(y, x);
      if (p[0] != b || p[1] != g || p[2] != r) {
        return false;
      }
    }
  }
  return true;
}

inline bool sameImage(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

// The status texts that equal `text`.
inline int countStatus(const RecordingGui& window, const std::string& text) {
  int count = 0;
  for (const std::string& status : window.statusTexts()) {
    count += status == text ? 1 : 0;
  }
  return count;
}

// A recording gui whose drawImage can be held: while a gate is closed, a
// thread that draws waits in drawImage (inside its recalculation, with
// `locked` set) until the test opens the gate.
class GatedGui : public RecordingGui {
 public:
  using RecordingGui::RecordingGui;

  void drawImage(const cv::Mat& image) override {
    RecordingGui::drawImage(image);
    std::unique_lock<std::mutex> lock(gateMutex_);
    if (!closed_) {
      return;
    }
    ++waiting_;
    gateChanged_.notify_all();
    gateChanged_.wait(lock, [&] { return !closed_ || passes_ > 0; });
    if (passes_ > 0) {
      --passes_;
    }
    --waiting_;
  }

  void closeGate() {
    std::lock_guard<std::mutex> lock(gateMutex_);
    closed_ = true;
  }
  void openGate() {
    std::lock_guard<std::mutex> lock(gateMutex_);
    closed_ = false;
    gateChanged_.notify_all();
  }
  // Lets one waiting drawer through; the gate stays closed.
  void passOne() {
    std::lock_guard<std::mutex> lock(gateMutex_);
    ++passes_;
    gateChanged_.notify_all();
  }
  // Waits until a drawer is held at the gate.
  bool waitForHeld(std::chrono::milliseconds timeout = 20000ms) {
    std::unique_lock<std::mutex> lock(gateMutex_);
    return gateChanged_.wait_for(lock, timeout, [&] { return waiting_ > 0 && passes_ == 0; });
  }

 private:
  std::mutex gateMutex_;
  std::condition_variable gateChanged_;
  bool closed_ = false;
  int waiting_ = 0;
  int passes_ = 0;
};

}  // namespace controllertest
