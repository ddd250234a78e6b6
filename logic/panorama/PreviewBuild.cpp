#include "panorama/PreviewBuild.h"

#include <opencv2/core.hpp>

#include "panorama/Picture.h"
#include "panorama/PreviewCache.h"

bool buildPreview(Picture* picture, const std::string& path, PreviewCache* cache) {
  PreviewKey key;
  const bool keyed = cache != nullptr && cache->enabled() &&
                     PreviewCache::keyFor(path, picture->previewRule(), &key);
  if (keyed) {
    cv::Mat stored;
    if (cache->load(key, &stored) && picture->setFileWithPreview(path, stored)) {
      return true;
    }
  }
  if (!picture->setFile(path)) {
    return false;
  }
  // The key again: a file replaced during the decode must not be cached under
  // the key of the file it replaced.
  PreviewKey after;
  if (keyed && PreviewCache::keyFor(path, picture->previewRule(), &after) && after == key) {
    cache->store(key, picture->preview);
  }
  return true;
}
