#pragma once

// Small JPEG byte streams for the header readers' tests: real files from the
// image library with hand-made segments inserted after the start marker.

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

namespace jpegtest {

// A JPEG of width x height pixels with `channels` (1 or 3) components.
inline std::string encoded(int width, int height, bool progressive = false, int channels = 3) {
  cv::Mat pixels(height, width, channels == 1 ? CV_8UC1 : CV_8UC3, cv::Scalar(30, 120, 200));
  std::vector<uchar> bytes;
  std::vector<int> options = {cv::IMWRITE_JPEG_QUALITY, 80};
  if (progressive) options.insert(options.end(), {cv::IMWRITE_JPEG_PROGRESSIVE, 1});
  cv::imencode(".jpg", pixels, bytes, options);
  return std::string(bytes.begin(), bytes.end());
}

// A marker segment: 0xFF, the marker, the big-endian length, the payload.
inline std::string segment(int marker, const std::string& payload) {
  const std::size_t length = payload.size() + 2;
  std::string bytes = {'\xFF', static_cast<char>(marker), static_cast<char>(length >> 8),
                       static_cast<char>(length & 0xFF)};
  return bytes + payload;
}

// `jpeg` with `inserted` placed right after its start-of-image marker.
inline std::string afterStart(const std::string& jpeg, const std::string& inserted) {
  return jpeg.substr(0, 2) + inserted + jpeg.substr(2);
}

inline std::string xmpSegment(const std::string& packet) {
  return segment(0xE1, std::string("http://ns.adobe.com/xap/1.0/\0", 29) + packet);
}

inline std::string bigEndian32(std::uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
          static_cast<char>(value)};
}

// One chunk of an extended XMP packet of `total` bytes.
inline std::string extendedXmpSegment(const std::string& guid, std::uint32_t total, std::uint32_t offset,
                                      const std::string& data) {
  return segment(0xE1, std::string("http://ns.adobe.com/xmp/extension/\0", 35) + guid + bigEndian32(total) +
                           bigEndian32(offset) + data);
}

// An EXIF APP1 segment whose first directory holds one orientation entry.
inline std::string exifSegment(int orientation, bool bigEndian) {
  std::string tiff;
  const auto u16 = [&](int v) {
    tiff += bigEndian ? std::string{static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)}
                      : std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
  };
  const auto u32 = [&](std::uint32_t v) {
    if (bigEndian) {
      u16(static_cast<int>(v >> 16));
      u16(static_cast<int>(v & 0xFFFF));
    } else {
      u16(static_cast<int>(v & 0xFFFF));
      u16(static_cast<int>(v >> 16));
    }
  };
  tiff += bigEndian ? "MM" : "II";
  u16(42);
  u32(8);  // first directory right after the header
  u16(2);  // two entries: another tag, then the orientation
  u16(0x010F), u16(2), u32(4), u32(0);
  u16(0x0112), u16(3), u32(1), u16(orientation), u16(0);
  u32(0);
  return segment(0xE1, std::string("Exif\0\0", 6) + tiff);
}

// A GPano XMP packet with the given attributes (`attributes` is written into
// the rdf:Description element as is) under the prefix `prefix`.
inline std::string gpanoPacket(const std::string& attributes, const std::string& prefix = "GPano",
                               const std::string& uri = "http://ns.google.com/photos/1.0/panorama/") {
  return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
         "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
         "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
         "<rdf:Description rdf:about=\"\" xmlns:" +
         prefix + "=\"" + uri + "\"\n " + attributes +
         "/>\n</rdf:RDF></x:xmpmeta>\n<?xpacket end=\"w\"?>";
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace jpegtest
