#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// What a JPEG file's header says, read from its markers without decoding a
// pixel: the frame size, the colour components, the coding process, the XMP
// metadata packet and the EXIF orientation.
struct JpegHeader {
  int width = 0;       // pixels per row as stored (before any EXIF rotation)
  int height = 0;      // rows as stored
  int components = 0;  // 1 grey, 3 colour, 4 CMYK
  bool progressive = false;
  // EXIF orientation tag 1 ... 8 (1 = stored upright), 0 when absent or invalid.
  int orientation = 0;
  // The XMP packet (the APP1 segment after "http://ns.adobe.com/xap/1.0/\0"),
  // empty when there is none; at most 64 KiB.
  std::string xmp;
  // The extended XMP (APP1 "http://ns.adobe.com/xmp/extension/\0" chunks of
  // the GUID that the main packet names), reassembled; empty when absent,
  // incomplete, overlapping or over kMaxExtendedXmp bytes. Only the first
  // GUID met in the file is collected.
  std::string extendedXmp;
};

enum class JpegRead {
  kRead,        // a frame header with a non-zero size was found
  kNotAFile,    // missing, not a regular file, or unreadable
  kNotJpeg,     // does not start with the JPEG start-of-image marker
  kDamaged,     // starts like a JPEG, but no usable frame header
};

// Largest reassembled extended XMP kept, in bytes.
constexpr std::uint32_t kMaxExtendedXmp = 16u << 20;
// Most header bytes walked before the frame header and the scan must have
// come (markers, segments skipped, garbage between them).
constexpr std::uint64_t kMaxJpegHeaderBytes = 64ull << 20;

// Reads the header of the file at `path`: only a regular file (links
// followed) is opened, and only the segments before the first scan are
// looked at, skipping what is not needed. Reading stops at the first scan or
// end-of-image marker, at the end of the file, or after kMaxJpegHeaderBytes.
// A file cut short after its frame header still counts as read. On anything
// but kRead, *header is unchanged and *reason (if not null) says in German
// what is wrong.
JpegRead readJpegHeader(const std::string& path, JpegHeader* header, std::string* reason);
// The same for a JPEG byte stream already in memory.
JpegRead parseJpegHeader(std::string_view bytes, JpegHeader* header, std::string* reason);
// The EXIF orientation (1 ... 8) in the payload of an APP1 "Exif\0\0"
// segment (the six identifying bytes included), or 0 when absent or damaged.
int exifOrientation(std::string_view app1Payload);
