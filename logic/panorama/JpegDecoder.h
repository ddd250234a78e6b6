#pragma once

#include <cstdint>
#include <string>

#include <opencv2/core.hpp>

#include "panorama/PhotoHeader.h"

class RegularFile;

// The JPEG part of photograph reading (see PhotoDecoder.h), on libjpeg-turbo.
//
// OpenCV's imread links the same system library (libjpeg.so.62); the
// settings that give its pixels were found by comparing them: the library's
// defaults, that is the accurate integer inverse DCT (JDCT_ISLOW; IFAST and
// FLOAT differ by up to 4 levels) and fancy upsampling (without it up to 6),
// no scaling. Colour is written straight into the image rows in BGR order
// (JCS_EXT_BGR), which gives the bytes of imread's RGB output and its own
// swap without that extra pass. Grey JPEGs are expanded to three equal
// channels by the library; 4-component JPEGs are read as CMYK and converted
// with OpenCV's CMYK formula, which matched imread on CMYK and YCCK files.
//
// Strictness: libjpeg's errors and every one of its warnings end the
// decoding with the library's message as the reason; the data is read up to
// the end-of-image marker, so that damage after the last image row (stray
// bytes, a missing end marker) is found too. Bytes after the end-of-image
// marker are ignored, as every JPEG reader does. A progressive file of more
// than kMaxJpegScans scans is refused, since each scan costs a pass over the
// whole image: a valid progression may have thousands (encoders write about
// ten), and a hostile one of a few kilobytes could keep the decoder busy for
// minutes.
//
// Both functions read `file` from its current position, which must be the
// start of the JPEG data, and leave the position undefined.

inline constexpr int kMaxJpegScans = 500;

// Reads the markers up to the first scan into *header (format kJpeg).
// False with *reason when they are damaged or the file ends before the scan.
bool readJpegHeader(RegularFile* file, PhotoHeader* header, std::string* reason);

// Decodes the whole image into *out, a new CV_8UC3 image (see decodePhoto
// for the pixel limit and the failure contract).
bool decodeJpeg(RegularFile* file, std::uint64_t maxPixels, cv::Mat* out, std::string* reason);
