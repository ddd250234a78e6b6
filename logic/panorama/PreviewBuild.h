#pragma once

#include <string>

class Picture;
class PreviewCache;

// Gives `picture` its file `path` and its preview, which becomes current:
// from `cache` (may be null) when it holds the preview of this file as it is
// now under the picture's previewRule, else decoded from the file
// (Picture::setFile) and then stored in the cache, unless the file changed
// while it was decoded. A cached preview is byte for byte the one setFile
// makes; a damaged or mismatching entry is a miss. False when the file could
// not be read (see Picture::takeReadProblem). Thread-safe for different
// pictures.
bool buildPreview(Picture* picture, const std::string& path, PreviewCache* cache);
