#pragma once

#include <cstddef>
#include <string>

#include <opencv2/core.hpp>

// JPEG test files written with libjpeg itself, for what cv::imwrite cannot
// choose (sampling factors, colour spaces, arithmetic coding), and byte-level
// edits of JPEG data.

enum class JpegSpace { kYCbCr, kGrey, kRgb, kCmyk, kYcck };

struct JpegOptions {
  int quality = 90;
  bool progressive = false;
  bool optimize = false;
  bool arithmetic = false;
  int restartRows = 0;  // restart marker every that many MCU rows (0: none)
  // Sampling factors of the first component; the others are 1 x 1.
  int lumaH = 2;
  int lumaV = 2;
  JpegSpace space = JpegSpace::kYCbCr;
  // A progressive file with one scan per component and coefficient, each
  // sent in approximationBits + 1 steps of successive approximation (0 ... 10
  // bits): components x 64 x (approximationBits + 1) scans. -1: not used.
  int approximationBits = -1;
};

// The JPEG bytes of `image`: CV_8UC1 for kGrey, CV_8UC4 (C, M, Y, K) for
// kCmyk and kYcck, BGR CV_8UC3 otherwise. Aborts on a libjpeg error.
std::string encodeJpeg(const cv::Mat& image, const JpegOptions& options);

// The position of the first marker 0xFF `code` at or after `from`, skipping
// nothing (so only reliable for markers before the first scan, and for EOI
// at the end); std::string::npos when there is none.
std::size_t findMarker(const std::string& jpeg, unsigned char code, std::size_t from = 0);

// The position of the first entropy-coded byte: just after the first SOS
// segment. npos when there is no SOS.
std::size_t scanDataStart(const std::string& jpeg);

// `jpeg` with an APP1 EXIF segment holding only an Orientation tag with
// `orientation` (1 ... 8) inserted right after the SOI marker.
std::string withExifOrientation(const std::string& jpeg, int orientation);

// `jpeg` with the size in its SOF segment replaced.
std::string withDeclaredSize(const std::string& jpeg, int width, int height);

void writeBytes(const std::string& path, const std::string& bytes);

// A smooth colour gradient of width x height BGR pixels, with Gaussian noise
// of `sigma` grey levels added like a camera sensor's grain (0: none).
cv::Mat grainyPhoto(int width, int height, double sigma, unsigned seed);
