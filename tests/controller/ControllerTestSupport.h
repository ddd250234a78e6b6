#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>

#include "SamplePanorama.h"
#include "controller/PanController.h"
#include "support/RecordingGui.h"
#include "support/TempDir.h"

namespace controllertest {

using namespace std::chrono_literals;

// ---------------------------------------------------------------------------
// What the user reads and what the log records

// The error dialogs' texts.
inline constexpr const char* kMissingText =
    "XML-Datei existiert nicht oder konnte nicht geoeffnet werden!";
inline constexpr const char* kMalformedText = "Fehler beim lesen der XML-Datei!";
inline constexpr const char* kSoundErrorText = "Fehler beim Laden der Tondaten!!!";

// A refusal as the dialog shows it: the fixed first line, then, after an
// empty line, the reason the user can act on.
inline ::testing::AssertionResult refusedWith(const std::string& shown, const std::string& message) {
  if (shown.rfind(message + "\n\n", 0) != 0 || shown.size() <= message.size() + 2) {
    return ::testing::AssertionFailure() << "\"" << shown << "\" is not \"" << message << "\" with a reason";
  }
  return ::testing::AssertionSuccess();
}

// The status texts of the recalculations: a quick view after a camera change,
// the refined view (opening, settle timer) and the sound image.
inline constexpr const char* kQuickView = "Recalculate panorama image";
inline constexpr const char* kRefinedView = "Recalculate panorama image (refinement)";
inline constexpr const char* kSoundView = "Recalculate sound-image";

// The settle timer's three log entries.
inline constexpr const char* kTimerRefined =
    "A Sleep Thread ended and caused a refinement of the pan Image";
inline constexpr const char* kTimerLocked =
    "A Sleep Thread ended while the PanController was locked";
inline constexpr const char* kTimerResized =
    "A sleep thread ended long enough after the canvas was resized";

// The log entries of input refused while the controller is locked.
inline constexpr const char* kWheelLocked = "PanController::mouseScrolled, LOCKED";
inline constexpr const char* kSliderLocked = "PanController::setTransValue, LOCKED";

// The last entry of every log.
inline constexpr const char* kLogEnd = "\tLogger::~Logger I'll be back!\n";

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

// The log ends with the logger's own last entry, and has it once.
inline bool logEnded(const std::string& log) {
  const std::string end(kLogEnd);
  return log.size() >= end.size() && log.compare(log.size() - end.size(), end.size(), end) == 0 &&
         log.find(end) == log.size() - end.size();
}

// The status texts that equal `text`.
inline int countStatus(const RecordingGui& window, const std::string& text) {
  int count = 0;
  for (const std::string& status : window.statusTexts()) {
    count += status == text ? 1 : 0;
  }
  return count;
}

// ---------------------------------------------------------------------------
// Waiting and time

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

// ---------------------------------------------------------------------------
// Inputs

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

// ---------------------------------------------------------------------------
// Images

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

// The mean absolute difference of two images of the same size, over all
// channels (0 ... 255).
inline double meanDifference(const cv::Mat& a, const cv::Mat& b) {
  cv::Mat difference;
  cv::absdiff(a, b, difference);
  const cv::Scalar mean = cv::mean(difference);
  return (mean[0] + mean[1] + mean[2]) / 3.0;
}

// ---------------------------------------------------------------------------
// Windows

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

// ---------------------------------------------------------------------------
// The controller

// The viewer's start camera: f = 50 mm, looking at the horizon (altitude
// pi/2) at azimuth 0.
inline constexpr double kStartF = 50.0;
inline constexpr double kStartAltitude = M_PI / 2;
inline constexpr double kStartAzimuth = 0.0;

// A controller on `window` with the start camera. Its settle timer waits an
// hour, so that it stays out of the way of a test that does not set it.
inline std::unique_ptr<PanController> makeController(gui& window) {
  auto controller = std::make_unique<PanController>(&window, kStartF, kStartAltitude, kStartAzimuth);
  controller->setSettleTiming(std::chrono::hours(1), alwaysQuietClock());
  return controller;
}

// The fixture of the controller tests: a fresh working directory (the log and
// the weight image land there), a recording window of the given canvas size
// (160 x 120 unless the test's fixture says otherwise) and the controller on
// it, made by makeController. The sample panorama is opened on demand.
template <typename Window = RecordingGui>
class ControllerFixture : public testing::Test {
 protected:
  explicit ControllerFixture(int width = 160, int height = 120)
      : window(width, height), controller(makeController(window)) {}

  // The settle timer fires `delay` after the last change, and every firing
  // finds the controller quiet long enough. Call while the controller is
  // settled.
  void settleAfter(std::chrono::milliseconds delay) {
    controller->setSettleTiming(delay, alwaysQuietClock());
  }
  // The viewer's own timing: a second of real time on the real clock.
  void settleInRealTime() {
    controller->setSettleTiming(std::chrono::milliseconds(1000), [] { return std::time(nullptr); });
  }

  static const SamplePanorama& sample() { return SamplePanorama::get(); }
  // Opens the sample panorama; a fatal failure when it cannot be made or
  // opened (wrap the call in ASSERT_NO_FATAL_FAILURE).
  void openSample() {
    ASSERT_FALSE(sample().description.empty()) << sample().error;
    ASSERT_EQ(controller->openPanorama(sample().description.c_str()), 0);
  }
  // Opens `path` as the window does: in the background, then, once the
  // controller reports the end of its work, finishOpen from this thread (the
  // window's GUI thread).
  void openAsWindow(const std::string& path) {
    const int ends = window.openProgressEnds();
    controller->openPanorama(path);
    if (controller->opening()) {
      ASSERT_TRUE(waitFor([&] { return window.openProgressEnds() > ends; }));
      controller->finishOpen();
    }
  }
  // A sound data directory with one uniform set "Pegel" of 0.5 in this
  // test's directory.
  std::string writeOneSoundSet() {
    return writeSoundDirectory(dir.path() / "sound", {{"Pegel", 4, 2, "0.5000"}});
  }

  // Waits until nothing runs or is pending in the controller.
  bool waitUntilSettled(std::chrono::milliseconds timeout = 20000ms) {
    return waitFor([this] { return controller->settled(); }, timeout);
  }

  TempDir dir;
  Window window;
  std::unique_ptr<PanController> controller;
};

}  // namespace controllertest
