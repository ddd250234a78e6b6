#include "MatToQImage.h"

#include <cstdint>

namespace {

// The image with 8-bit samples: the image itself when it already has them.
cv::Mat eightBitSamples(const cv::Mat& image) {
  if (image.depth() == CV_8U) return image;
  cv::Mat converted;
  const double scale = image.depth() == CV_16U ? 1.0 / 257.0 : 1.0;
  image.convertTo(converted, CV_MAKETYPE(CV_8U, image.channels()), scale);
  return converted;
}

}  // namespace

QImage matToQImage(const cv::Mat& image) {
  const int channels = image.channels();
  if (image.empty() || image.dims != 2 || channels > 4) return QImage();
  const cv::Mat samples = eightBitSamples(image);

  QImage result(samples.cols, samples.rows, QImage::Format_ARGB32);
  if (result.isNull()) return QImage();  // too large to allocate
  for (int y = 0; y < samples.rows; ++y) {
    const std::uint8_t* in = samples.ptr<std::uint8_t>(y);
    QRgb* out = reinterpret_cast<QRgb*>(result.scanLine(y));
    for (int x = 0; x < samples.cols; ++x, in += channels) {
      switch (channels) {
        case 1:
          out[x] = qRgba(in[0], in[0], in[0], 255);
          break;
        case 2:
          out[x] = qRgba(in[0], in[0], in[0], in[1]);
          break;
        case 3:
          out[x] = qRgba(in[2], in[1], in[0], 255);
          break;
        default:
          out[x] = qRgba(in[2], in[1], in[0], in[3]);
          break;
      }
    }
  }
  return result;
}
