#pragma once

#include <string>

#include <opencv2/core.hpp>

class Picture;
class PreviewCache;

// A text naming everything besides the file that shapes the picture's
// preview: the method, the preview's longer side, the full size, that an
// EXIF orientation is not applied, and the OpenCV version.
std::string previewRule(const Picture& picture);
// The same for an image of `size` resized from the full decode (the image a
// photograph keeps for the first view).
std::string scaledRule(const Picture& picture, cv::Size size);

// Gives `picture` its file `path` and its preview, which becomes current:
// from `cache` (may be null) when it holds the preview of this file as it is
// now under the picture's previewRule, else decoded from the file
// (Picture::setFile) and then stored in the cache, unless the file changed
// while it was decoded. A cached preview is byte for byte the one setFile
// makes; a damaged or mismatching entry is a miss. The image a photograph
// keeps for the first view (Picture::keepDecodeAt) is cached beside its
// preview the same way when it has at most a quarter of the photograph's
// pixels, so that a reopen need not decode the first view's photographs
// either. False when the file could
// not be read (see Picture::takeReadProblem). Thread-safe for different
// pictures.
bool buildPreview(Picture* picture, const std::string& path, PreviewCache* cache);
