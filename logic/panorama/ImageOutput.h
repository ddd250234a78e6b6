#pragma once

#include <string>

#include <opencv2/core.hpp>

// Writing images so that a failed write never leaves a damaged file under the
// target's name, nor reports success: the image is written beside the target
// under a temporary name with the same extension, read back and decoded (a
// full disk or a file size limit shows there even when the encoder reported
// success), and only then renamed to the target. On failure the temporary
// file is removed and an existing target left as it was.

// Why a write failed.
enum class ImageWriteError {
  kNone,
  kNoImage,       // the image is empty
  kDirectory,     // the target names a directory
  kNoFormat,      // no image format for the target's extension
  kNoFolder,      // the target's folder does not exist
  kReadOnly,      // the target's folder cannot be written to
  kEncoder,       // the encoder failed or threw (detail: its message)
  kReadBack,      // the written file does not decode as the image
  kRename,        // the finished file could not be renamed (detail: why)
};

struct ImageWriteResult {
  ImageWriteError error = ImageWriteError::kNone;
  std::string temporary;  // the temporary file's name, once chosen
  std::string detail;     // the encoder's or the file system's message
  bool ok() const { return error == ImageWriteError::kNone; }
};

// Writes `image` to `path`, its format chosen by the extension, as described
// above.
ImageWriteResult writeImageSafely(const cv::Mat& image, const std::string& path);

// A one-line English reason for a failed write of `path` (for the tools).
std::string englishWriteReason(const ImageWriteResult& result, const std::string& path);
// The German reason for the window, naming the file or folder.
std::string germanWriteReason(const ImageWriteResult& result, const std::string& path);

// writeImageSafely with the English reason: false with *reason set on failure.
bool writeImageChecked(const cv::Mat& image, const std::string& path, std::string* reason);

// Saves a view the user sees as a PNG or JPEG file. A `path` without an
// extension gets ".png"; ".png", ".jpg" and ".jpeg" (any case) are accepted,
// any other extension is refused. Returns the path written (possibly with
// ".png" added) in *written, or false with the German message (a fixed first
// line, an empty line, the reason) in *message; nothing is changed then.
bool saveViewImage(const cv::Mat& image, const std::string& path, std::string* written,
                   std::string* message);
