// panorama-render: renders views of a panorama without a window, through the
// same controller the viewer drives, or benchmarks it.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "base/Constants.h"
#include "base/ImageMemory.h"
#include "base/TextFormat.h"
#include "HeadlessGui.h"
#include "Percentile.h"
#include "panorama/ImageOutput.h"
#include "RenderOptions.h"
#include "SoundBench.h"
#include "StopSignals.h"
#include "ViewProject.h"
#include "controller/Navigation.h"
#include "controller/PanController.h"
#include "geometry/PhotoDrawing.h"
#include "panorama/PicManager.h"
#include "sound/SoundPeak.h"

namespace {

double msSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// `text` as a JSON string: valid UTF-8 kept, control characters and bytes
// that are not UTF-8 as "?" (printableText), quotes and backslashes escaped.
std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : printableText(text, text.size())) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// The shown set's loudest direction in degrees (azimuth 0 ... 360).
void printPeak(const PanController& controller) {
  SoundPeak peak;
  controller.soundPeak(&peak);
  std::printf("{\"set\":%s, \"azimuth\":%.4f, \"altitude\":%.4f, \"value\":%.4f}\n",
              jsonString(controller.soundSetName()).c_str(), radiansToDegrees(peak.azimuth),
              radiansToDegrees(peak.altitude), static_cast<double>(peak.value));
}

double peakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  tuneMemoryForImages();  // as the viewer does
  // Before any thread exists: SIGINT and SIGTERM then only ask for a stop,
  // which the steps below look at; the controller is closed as usual.
  StopSignals stopSignals;
  RenderOptions options;
  std::string error;
  if (!parseRenderOptions(argc, argv, &options, &error)) {
    std::cerr << "panorama-render: " << error << "\n" << kRenderUsage;
    return 2;
  }
  if (options.help) {
    std::cout << kRenderUsage;
    return 0;
  }

  setVectorLanes(options.lanes);
  HeadlessGui window(options.width, options.height);
  PanController controller(&window, options.f, degreesToRadians(options.altitude), degreesToRadians(options.azimuth));
  int exitCode = 0;
  double openMs = 0.0;
  // The sound map options first: the first composition already shows them.
  if (options.threshold >= 0.0) controller.setThresholdValue(options.threshold);
  if (options.legend) controller.setLegendVisible(true);
  if (options.marker) controller.setPeakMarkerVisible(true);
  // True once a stop was asked for; the exit code says which signal.
  const auto stopped = [&] {
    if (stopSignals.stopRequested() && exitCode < 128) {
      exitCode = 128 + stopSignals.received();
      std::cerr << "panorama-render: stopped by "
                << (stopSignals.received() == SIGINT ? "SIGINT" : "SIGTERM") << "\n";
    }
    return exitCode >= 128;
  };

  if (!options.panorama.empty()) {
    const auto start = std::chrono::steady_clock::now();
    const int result = controller.openPanorama(options.panorama.c_str());
    openMs = msSince(start);
    if (result != 0) {
      std::cerr << window.lastError() << "\n";
      exitCode = 3;
    }
  }
  if (exitCode == 0 && !stopped() && !options.sound.empty()) {
    if (controller.openSoundData(options.sound.c_str()) != 0) {
      std::cerr << window.lastError() << "\n";
      exitCode = 4;
    } else if (controller.soundSetCount() == 0) {
      std::cerr << "panorama-render: the sound directory " << options.sound
                << " holds no data sets (*.csv)\n";
      exitCode = 4;
    } else if (options.layer >= controller.soundSetCount()) {
      // Checked once the sets are known: a layer they lack would be drawn
      // as nothing at all.
      std::cerr << "panorama-render: bad value for --layer: " << options.layer
                << " (the sound data has " << controller.soundSetCount() << " sets, 0 ... "
                << controller.soundSetCount() - 1 << ")\n"
                << kRenderUsage;
      exitCode = 2;
    } else {
      controller.setRepValue(options.layer);
      const double alpha = options.alpha < 0.0 ? 1.0 : options.alpha;
      controller.setTransValue(static_cast<int>(std::lround(alpha * 100.0)));
    }
  }

  if (exitCode == 0 && !stopped() && options.peak) {
    printPeak(controller);
  } else if (exitCode == 0 && !stopped() && options.benchSound > 0) {
    runSoundBench(controller, options.sound, options.width, options.height, options.benchSound);
  } else if (exitCode == 0 && !stopped() && options.bench >= 0) {
    std::vector<double> quick;
    double azimuth = degreesToRadians(options.azimuth);
    const double altitude = degreesToRadians(options.altitude);
    for (int i = 0; i < options.bench && !stopped(); ++i) {
      azimuth += kAngleStep;
      const auto start = std::chrono::steady_clock::now();
      controller.setCameraData(azimuth, altitude, options.f);
      quick.push_back(msSince(start));
    }
    // The viewer refines a second after the last change, when the freeing
    // after the last quick view has long finished (a refinement started at
    // once would find the loader busy and load nothing) and the photographs
    // the refinement reads have been decoded ahead.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    if (!stopped()) {
      const auto start = std::chrono::steady_clock::now();
      controller.refine();
      const double refineMs = msSince(start);
      std::printf(
          "{\"photos\":%d, \"width\":%d, \"height\":%d, \"open_ms\":%.1f, "
          "\"quick_ms_median\":%.2f, \"quick_ms_p95\":%.2f, \"refine_ms\":%.1f, "
          "\"peak_rss_mb\":%.1f}\n",
          controller.panorama() ? controller.panorama()->pictureCount : 0, options.width,
          options.height, openMs, percentile(quick, 0.5), percentile(quick, 0.95), refineMs,
          peakRssMb());
    }
  } else if (exitCode == 0 && !stopped()) {
    std::string reason;
    if (!writeImageChecked(window.lastImage(), options.out, &reason)) {
      std::cerr << "panorama-render: could not write " << options.out << ": " << reason << "\n";
      exitCode = 5;
    }
  }
  // The view the controller shows now: the one rendered or refined last.
  if (exitCode == 0 && !stopped() && !options.writePto.empty() && controller.panorama()) {
    std::string reason;
    if (!writeViewProject(options.writePto, controller.camera(), *controller.panorama(), &reason)) {
      std::cerr << "panorama-render: could not write " << options.writePto << ": " << reason
                << "\n";
      exitCode = 5;
    }
  }
  controller.close();
  return exitCode;
}
