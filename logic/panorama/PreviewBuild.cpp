#include "panorama/PreviewBuild.h"

#include <opencv2/core.hpp>
#include <opencv2/core/version.hpp>

#include "panorama/Picture.h"
#include "panorama/PreviewCache.h"

namespace {

// What every rule ends with.
std::string ruleTail(const Picture& picture) {
  return "; full " + std::to_string(picture.fullWidth) + "x" + std::to_string(picture.fullHeight) +
         "; orientation ignored; OpenCV " + CV_VERSION;
}

// The key of the image of `size` a photograph keeps for the first view: the
// preview's key with the scaled image's rule.
PreviewKey keptKey(const Picture& picture, const PreviewKey& previewKey, cv::Size size) {
  PreviewKey key = previewKey;
  key.rule = scaledRule(picture, size);
  return key;
}

}  // namespace

std::string previewRule(const Picture& picture) {
  return "cubic preview v1; longer side " + std::to_string(picture.previewSize) +
         ruleTail(picture);
}

std::string scaledRule(const Picture& picture, cv::Size size) {
  return "cubic scaled v1; " + std::to_string(size.width) + "x" + std::to_string(size.height) +
         ruleTail(picture);
}

bool buildPreview(Picture* picture, const std::string& path, PreviewCache* cache) {
  PreviewKey key;
  const bool keyed = cache != nullptr && cache->enabled() &&
                     PreviewCache::keyFor(path, previewRule(*picture), &key);
  if (keyed) {
    cv::Mat stored;
    if (cache->load(key, &stored) && picture->setFileWithPreview(path, stored)) {
      // The image the first view needs, when an earlier open kept it.
      const cv::Size size = picture->keptSize();
      cv::Mat kept;
      if (!size.empty() && cache->load(keptKey(*picture, key, size), &kept, size)) {
        picture->keepStoredImage(kept);
      }
      return true;
    }
  }
  if (!picture->setFile(path)) {
    return false;
  }
  // The key again: a file replaced during the decode must not be cached under
  // the key of the file it replaced.
  PreviewKey after;
  if (keyed && PreviewCache::keyFor(path, previewRule(*picture), &after) && after == key) {
    cache->store(key, picture->preview);
    // Only images much smaller than the photograph: reading a larger one
    // back saves little against decoding the file and fills the cache.
    const cv::Mat kept = picture->keptImage();
    if (!kept.empty() && 4.0 * kept.total() <= 1.0 * picture->fullWidth * picture->fullHeight) {
      cache->store(keptKey(*picture, key, kept.size()), kept);
    }
  }
  return true;
}
