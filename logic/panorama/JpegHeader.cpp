#include "panorama/JpegHeader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "base/RegularFile.h"

namespace {

constexpr std::string_view kXmpId{"http://ns.adobe.com/xap/1.0/\0", 29};
constexpr std::string_view kExtendedXmpId{"http://ns.adobe.com/xmp/extension/\0", 35};
constexpr std::string_view kExifId{"Exif\0\0", 6};
constexpr std::size_t kGuidLength = 32;

// Sequential bytes with skipping: a file or memory.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Up to `count` bytes into `buffer`; fewer only at the end.
  virtual std::size_t read(unsigned char* buffer, std::size_t count) = 0;
  // False when fewer than `count` bytes are left.
  virtual bool skip(std::size_t count) = 0;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  std::size_t read(unsigned char* buffer, std::size_t count) override {
    const std::size_t n = std::min(count, bytes_.size() - pos_);
    if (n > 0) std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    return n;
  }
  bool skip(std::size_t count) override {
    if (count > bytes_.size() - pos_) {
      pos_ = bytes_.size();
      return false;
    }
    pos_ += count;
    return true;
  }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

// Buffers single-byte reads (markers, fill bytes, garbage); skips beyond
// the buffer move the file position instead of reading.
class FileSource final : public ByteSource {
 public:
  explicit FileSource(RegularFile* file) : file_(file) {}
  std::size_t read(unsigned char* buffer, std::size_t count) override {
    std::size_t done = 0;
    while (done < count) {
      if (pos_ == filled_ && !refill()) break;
      const std::size_t n = std::min(count - done, filled_ - pos_);
      std::memcpy(buffer + done, buffer_.data() + pos_, n);
      pos_ += n;
      done += n;
    }
    return done;
  }
  bool skip(std::size_t count) override {
    const std::size_t buffered = filled_ - pos_;
    if (count <= buffered) {
      pos_ += count;
      return true;
    }
    pos_ = filled_ = 0;
    return file_->skip(count - buffered);
  }

 private:
  bool refill() {
    pos_ = 0;
    filled_ = file_->read(buffer_.data(), buffer_.size());
    return filled_ > 0;
  }

  RegularFile* file_;
  std::array<unsigned char, 16384> buffer_{};
  std::size_t pos_ = 0;
  std::size_t filled_ = 0;
};

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

std::uint32_t bigEndian32(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// Chunks of one extended XMP packet. They are kept as they come (so that a
// claimed total costs nothing until data arrives) and joined at the end when
// they cover the packet without gaps or overlaps.
class ExtendedXmp {
 public:
  void add(std::string_view payload) {
    if (failed_ || payload.size() < kExtendedXmpId.size() + kGuidLength + 8) return;
    payload.remove_prefix(kExtendedXmpId.size());
    const std::string_view chunkGuid = payload.substr(0, kGuidLength);
    const auto* numbers = reinterpret_cast<const unsigned char*>(payload.data() + kGuidLength);
    const std::uint32_t total = bigEndian32(numbers);
    const std::uint32_t offset = bigEndian32(numbers + 4);
    const std::string_view data = payload.substr(kGuidLength + 8);
    if (guid_.empty()) {
      guid_.assign(chunkGuid);
      total_ = total;
    }
    // Chunks of another packet (an older edit left behind) are not ours.
    if (chunkGuid != guid_) return;
    if (total != total_ || total > kMaxExtendedXmp || offset > total || data.size() > total - offset ||
        received_ + data.size() > total) {
      failed_ = true;
      return;
    }
    chunks_.push_back({offset, std::string(data)});
    received_ += data.size();
  }

  const std::string& guid() const { return guid_; }

  // The whole packet, or "" when chunks are missing, overlap or failed.
  std::string joined() {
    if (failed_ || guid_.empty() || total_ == 0 || received_ != total_) return "";
    std::sort(chunks_.begin(), chunks_.end(),
              [](const Chunk& a, const Chunk& b) { return a.offset < b.offset; });
    std::string packet;
    packet.reserve(total_);
    for (const Chunk& chunk : chunks_) {
      if (chunk.offset != packet.size()) return "";
      packet += chunk.data;
    }
    return packet;
  }

 private:
  struct Chunk {
    std::uint32_t offset;
    std::string data;
  };
  std::string guid_;
  std::uint32_t total_ = 0;
  std::uint64_t received_ = 0;
  std::vector<Chunk> chunks_;
  bool failed_ = false;
};

// Walks the markers of a JPEG stream up to its first scan.
class Scanner {
 public:
  explicit Scanner(ByteSource* source) : source_(source) {}

  JpegRead run(JpegHeader* header, std::string* reason) {
    unsigned char start[2] = {0, 0};
    if (source_->read(start, 2) != 2 || start[0] != 0xFF || start[1] != 0xD8) {
      return fail(JpegRead::kNotJpeg, "keine JPEG-Datei", reason);
    }
    walked_ = 2;
    while (true) {
      const int marker = nextMarker();
      if (marker < 0) break;  // end of file or header too long
      // Markers without a length: restart, temporary, start of image.
      if ((marker >= 0xD0 && marker <= 0xD8) || marker == 0x01) continue;
      if (marker == 0xD9 || marker == 0xDA) break;  // end of image, start of scan
      unsigned char lengthBytes[2];
      if (source_->read(lengthBytes, 2) != 2) break;
      const std::size_t length = (std::size_t{lengthBytes[0]} << 8) | lengthBytes[1];
      if (length < 2) {
        if (!found_) return fail(JpegRead::kDamaged, "beschädigter JPEG-Kopf (Segmentlänge unter 2)", reason);
        break;
      }
      walked_ += 2 + length;
      if (!segment(marker, length - 2)) break;
    }
    if (!found_) {
      return fail(JpegRead::kDamaged, "JPEG-Datei ohne lesbare Bildgröße (kein Frame-Kopf)", reason);
    }
    if (frame_.width == 0 || frame_.height == 0) {
      return fail(JpegRead::kDamaged, "JPEG-Datei mit Bildgröße 0 im Frame-Kopf", reason);
    }
    if (!extended_.guid().empty() && frame_.xmp.find(extended_.guid()) != std::string::npos) {
      frame_.extendedXmp = extended_.joined();
    }
    *header = std::move(frame_);
    return JpegRead::kRead;
  }

 private:
  static JpegRead fail(JpegRead result, const char* text, std::string* reason) {
    if (reason != nullptr) *reason = text;
    return result;
  }

  // The next marker code after 0xFF (fill bytes and garbage skipped), or -1
  // at the end of the data or past the header limit.
  int nextMarker() {
    unsigned char byte = 0;
    bool sawFF = false;
    while (walked_ < kMaxJpegHeaderBytes) {
      if (source_->read(&byte, 1) != 1) return -1;
      ++walked_;
      if (byte == 0xFF) {
        sawFF = true;
      } else if (sawFF && byte != 0x00) {
        return byte;
      } else {
        sawFF = false;  // garbage, or a stuffed 0xFF 0x00
      }
    }
    return -1;
  }

  // Reads or skips one segment's payload; false when the data ends inside it.
  bool segment(int marker, std::size_t length) {
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (walked_ > kMaxJpegHeaderBytes) return false;
    if (!(frame && !found_) && marker != 0xE1) return source_->skip(length);
    payload_.resize(length);
    if (source_->read(payload_.data(), length) != length) return false;
    const std::string_view data(reinterpret_cast<const char*>(payload_.data()), length);
    if (frame) {
      readFrame(marker, data);
    } else if (startsWith(data, kXmpId)) {
      if (frame_.xmp.empty()) frame_.xmp.assign(data.substr(kXmpId.size()));
    } else if (startsWith(data, kExtendedXmpId)) {
      extended_.add(data);
    } else if (startsWith(data, kExifId)) {
      if (frame_.orientation == 0) frame_.orientation = exifOrientation(data);
    }
    return true;
  }

  // Start-of-frame: precision, height, width, component count.
  void readFrame(int marker, std::string_view data) {
    if (data.size() < 6) return;
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    found_ = true;
    frame_.height = (p[1] << 8) | p[2];
    frame_.width = (p[3] << 8) | p[4];
    frame_.components = p[5];
    frame_.progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
  }

  ByteSource* source_;
  std::uint64_t walked_ = 0;
  bool found_ = false;
  JpegHeader frame_;
  ExtendedXmp extended_;
  std::vector<unsigned char> payload_;
};

}  // namespace

int exifOrientation(std::string_view app1Payload) {
  if (!startsWith(app1Payload, kExifId)) return 0;
  const std::string_view tiff = app1Payload.substr(kExifId.size());
  if (tiff.size() < 8) return 0;
  const auto* t = reinterpret_cast<const unsigned char*>(tiff.data());
  bool little = false;
  if (t[0] == 'I' && t[1] == 'I') {
    little = true;
  } else if (!(t[0] == 'M' && t[1] == 'M')) {
    return 0;
  }
  const auto u16 = [&](std::size_t at) {
    return little ? (t[at] | (t[at + 1] << 8)) : ((t[at] << 8) | t[at + 1]);
  };
  const auto u32 = [&](std::size_t at) -> std::uint64_t {
    const std::uint64_t a = t[at], b = t[at + 1], c = t[at + 2], d = t[at + 3];
    return little ? (a | (b << 8) | (c << 16) | (d << 24)) : ((a << 24) | (b << 16) | (c << 8) | d);
  };
  if (u16(2) != 42) return 0;
  const std::uint64_t ifd = u32(4);
  if (ifd > tiff.size() || tiff.size() - ifd < 2) return 0;
  const int entries = u16(static_cast<std::size_t>(ifd));
  for (int i = 0; i < entries; ++i) {
    const std::uint64_t at = ifd + 2 + 12ull * static_cast<std::uint64_t>(i);
    if (at + 12 > tiff.size()) return 0;
    const auto entry = static_cast<std::size_t>(at);
    if (u16(entry) != 0x0112) continue;
    // SHORT, one value, stored in the first two bytes of the value field.
    if (u16(entry + 2) != 3 || u32(entry + 4) != 1) return 0;
    const int value = u16(entry + 8);
    return value >= 1 && value <= 8 ? value : 0;
  }
  return 0;
}

JpegRead parseJpegHeader(std::string_view bytes, JpegHeader* header, std::string* reason) {
  MemorySource source(bytes);
  return Scanner(&source).run(header, reason);
}

JpegRead readJpegHeader(const std::string& path, JpegHeader* header, std::string* reason) {
  RegularFile file;
  const RegularFile::Status status = file.open(path);
  if (status != RegularFile::Status::kOpen) {
    if (reason != nullptr) {
      *reason = status == RegularFile::Status::kMissing      ? "Datei nicht gefunden"
                : status == RegularFile::Status::kNotRegular ? "keine gewöhnliche Datei"
                                                             : "Datei nicht lesbar";
    }
    return JpegRead::kNotAFile;
  }
  FileSource source(&file);
  return Scanner(&source).run(header, reason);
}
