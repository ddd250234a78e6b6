// Feeds arbitrary bytes to the JPEG header scanner and, when it finds a
// frame, to the 360-degree description; the same bytes also go in as an XMP
// packet of a photograph whose size the first four bytes give, so that the
// GPano scanning is reached without a valid JPEG around it. Every accepted
// description must place the photograph within the sphere.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "panorama/Equirect360.h"
#include "panorama/JpegHeader.h"

namespace {

void checkDescription(const JpegHeader& header) {
  Equirect360 description;
  std::string reason;
  if (!describeEquirect360(header, &description, &reason)) {
    if (reason.empty()) __builtin_trap();
    return;
  }
  const Equirect360& d = description;
  const bool finite = std::isfinite(d.azimuthLeft) && std::isfinite(d.azimuthRight) && std::isfinite(d.altitudeTop) &&
                      std::isfinite(d.altitudeBottom) && std::isfinite(d.scale) && std::isfinite(d.headingDegrees);
  if (!finite || !(d.azimuthLeft <= 180.0 && d.azimuthRight >= -180.0 && d.azimuthLeft > d.azimuthRight) ||
      !(d.altitudeTop <= 180.0 && d.altitudeBottom >= 0.0 && d.altitudeTop > d.altitudeBottom) ||
      !(d.headingDegrees >= 0.0 && d.headingDegrees < 360.0) || std::fabs(d.pitchDegrees) > 90.0 ||
      std::fabs(d.rollDegrees) > 180.0 || d.scale <= 0.0 || d.fullWidth < 1 || d.fullHeight < 1 ||
      d.imageWidth != header.width || d.imageHeight != header.height ||
      double(d.imageWidth) * d.imageHeight > kMax360Pixels) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  JpegHeader header;
  std::string reason;
  if (parseJpegHeader(bytes, &header, &reason) == JpegRead::kRead) {
    if (header.width < 1 || header.height < 1 || header.width > 65535 || header.height > 65535 ||
        header.xmp.size() > 65535 || header.extendedXmp.size() > kMaxExtendedXmp || header.orientation < 0 ||
        header.orientation > 8) {
      __builtin_trap();
    }
    checkDescription(header);
  } else if (reason.empty()) {
    __builtin_trap();
  }
  if (size >= 4) {
    JpegHeader made;
    made.width = (data[0] << 8 | data[1]) + 1;
    made.height = (data[2] << 8 | data[3]) + 1;
    made.xmp.assign(bytes.substr(4));
    checkDescription(made);
  }
  return 0;
}
