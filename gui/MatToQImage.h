#pragma once

#include <QImage>

#include <opencv2/core.hpp>

// Converts a display image to a QImage in Format_ARGB32, pixel by pixel:
// - 1 channel:  grey v         -> alpha 255, red = green = blue = v
// - 2 channels: grey v, alpha a -> alpha a, red = green = blue = v
// - 3 channels: blue, green, red -> alpha 255 and those three
// - 4 channels: blue, green, red, alpha -> that alpha and those three
// Rows are read at the image's own row stride, so views into larger images
// and padded rows convert correctly. Samples wider than 8 bits are first
// brought to 8 bits (16-bit unsigned by dividing by 257, everything else by
// saturation). An empty image, or one with more than four channels, gives a
// null QImage.
QImage matToQImage(const cv::Mat& image);
