#include "support/JpegBytes.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <vector>

#include <jpeglib.h>

namespace {

void abortOnError(j_common_ptr info) {
  (*info->err->output_message)(info);
  std::abort();
}

J_COLOR_SPACE inputSpace(const cv::Mat& image) {
  switch (image.channels()) {
    case 1: return JCS_GRAYSCALE;
    case 4: return JCS_CMYK;
    default: return JCS_EXT_BGR;
  }
}

J_COLOR_SPACE fileSpace(JpegSpace space) {
  switch (space) {
    case JpegSpace::kGrey: return JCS_GRAYSCALE;
    case JpegSpace::kRgb: return JCS_RGB;
    case JpegSpace::kCmyk: return JCS_CMYK;
    case JpegSpace::kYcck: return JCS_YCCK;
    default: return JCS_YCbCr;
  }
}

unsigned char byteAt(const std::string& bytes, std::size_t i) { return static_cast<unsigned char>(bytes[i]); }

}  // namespace

std::string encodeJpeg(const cv::Mat& image, const JpegOptions& options) {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  errors.error_exit = abortOnError;
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(image.cols);
  info.image_height = static_cast<JDIMENSION>(image.rows);
  info.input_components = image.channels();
  info.in_color_space = inputSpace(image);
  jpeg_set_defaults(&info);
  jpeg_set_colorspace(&info, fileSpace(options.space));
  jpeg_set_quality(&info, options.quality, TRUE);
  if (info.num_components >= 3) {
    info.comp_info[0].h_samp_factor = options.lumaH;
    info.comp_info[0].v_samp_factor = options.lumaV;
    for (int c = 1; c < info.num_components; ++c) {
      info.comp_info[c].h_samp_factor = 1;
      info.comp_info[c].v_samp_factor = 1;
    }
  }
  if (options.space == JpegSpace::kYcck) {
    info.comp_info[3].h_samp_factor = options.lumaH;
    info.comp_info[3].v_samp_factor = options.lumaV;
  }
  if (options.progressive) jpeg_simple_progression(&info);
  std::vector<jpeg_scan_info> scans;
  if (options.approximationBits >= 0) {
    for (int c = 0; c < info.num_components; ++c) {
      for (int k = 0; k < 64; ++k) {
        for (int bit = options.approximationBits; bit >= 0; --bit) {
          const int high = bit == options.approximationBits ? 0 : bit + 1;
          scans.push_back(jpeg_scan_info{1, {c, 0, 0, 0}, k, k, high, bit});
        }
      }
    }
    info.scan_info = scans.data();
    info.num_scans = static_cast<int>(scans.size());
  }
  info.optimize_coding = options.optimize ? TRUE : FALSE;
  info.arith_code = options.arithmetic ? TRUE : FALSE;
  info.restart_in_rows = options.restartRows;
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(image.ptr<unsigned char>(static_cast<int>(info.next_scanline)));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::string bytes(reinterpret_cast<const char*>(buffer), size);
  std::free(buffer);
  return bytes;
}

std::size_t findMarker(const std::string& jpeg, unsigned char code, std::size_t from) {
  for (std::size_t i = from; i + 1 < jpeg.size(); ++i) {
    if (byteAt(jpeg, i) == 0xFF && byteAt(jpeg, i + 1) == code) return i;
  }
  return std::string::npos;
}

std::size_t scanDataStart(const std::string& jpeg) {
  // Walk the marker segments from SOI; every segment before SOS has a length.
  std::size_t i = 2;
  while (i + 4 <= jpeg.size() && byteAt(jpeg, i) == 0xFF) {
    const unsigned char code = byteAt(jpeg, i + 1);
    const std::size_t length = (byteAt(jpeg, i + 2) << 8) | byteAt(jpeg, i + 3);
    if (code == 0xDA) return i + 2 + length;
    i += 2 + length;
  }
  return std::string::npos;
}

std::string withExifOrientation(const std::string& jpeg, int orientation) {
  // TIFF header (little endian), one IFD entry: tag 0x0112, SHORT, count 1.
  const std::string tiff("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 18);
  std::string value(4, '\0');
  value[0] = static_cast<char>(orientation);
  const std::string body = std::string("Exif\0\0", 6) + tiff + value + std::string(4, '\0');
  const std::size_t length = body.size() + 2;
  std::string segment = "\xFF\xE1";
  segment += static_cast<char>(length >> 8);
  segment += static_cast<char>(length & 0xFF);
  return jpeg.substr(0, 2) + segment + body + jpeg.substr(2);
}

std::string withDeclaredSize(const std::string& jpeg, int width, int height) {
  std::string patched = jpeg;
  for (unsigned char code : {0xC0, 0xC1, 0xC2, 0xC9, 0xCA}) {
    const std::size_t at = findMarker(jpeg, code);
    if (at != std::string::npos && at < scanDataStart(jpeg)) {
      patched[at + 5] = static_cast<char>(height >> 8);
      patched[at + 6] = static_cast<char>(height & 0xFF);
      patched[at + 7] = static_cast<char>(width >> 8);
      patched[at + 8] = static_cast<char>(width & 0xFF);
      return patched;
    }
  }
  throw std::runtime_error("no SOF segment");
}

void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

cv::Mat grainyPhoto(int width, int height, double sigma, unsigned seed) {
  cv::Mat smooth(height, width, CV_32FC3);
  for (int y = 0; y < height; ++y) {
    auto* row = smooth.ptr<cv::Vec3f>(y);
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) {
        row[x][c] = static_cast<float>(128.0 + 100.0 * std::sin(0.004 * (c + 1) * x + 0.003 * y + c));
      }
    }
  }
  if (sigma > 0.0) {
    cv::Mat noise(height, width, CV_32FC3);
    cv::RNG rng(seed);
    rng.fill(noise, cv::RNG::NORMAL, 0.0, sigma);
    smooth += noise;
  }
  cv::Mat photo;
  smooth.convertTo(photo, CV_8UC3);
  return photo;
}
