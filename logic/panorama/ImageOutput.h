#pragma once

#include <string>

#include <opencv2/core.hpp>

// Writes `image` to `path` (format by its extension) so that a failed write
// never leaves a damaged file under that name, nor reports success: the image
// is written beside the target under a temporary name with the same
// extension, read back and decoded (a full disk or a file size limit shows
// there even when the encoder reported success), and only then renamed to
// `path`. False with a one-line English reason otherwise; the temporary file
// is removed and an existing `path` left as it was.
bool writeImageChecked(const cv::Mat& image, const std::string& path, std::string* reason);
