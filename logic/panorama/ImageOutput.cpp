#include "ImageOutput.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

#include <opencv2/imgcodecs.hpp>

namespace fs = std::filesystem;

namespace {

// Removes the temporary file when the write does not finish.
class RemoveUnlessKept {
 public:
  explicit RemoveUnlessKept(fs::path path) : path_(std::move(path)) {}
  ~RemoveUnlessKept() {
    if (!kept_) {
      std::error_code ignored;
      fs::remove(path_, ignored);
    }
  }
  void keep() { kept_ = true; }

 private:
  fs::path path_;
  bool kept_ = false;
};

}  // namespace

bool writeImageChecked(const cv::Mat& image, const std::string& path, std::string* reason) {
  if (image.empty()) {
    *reason = "there is no image to write";
    return false;
  }
  const fs::path target(path);
  std::error_code error;
  if (target.filename().empty() || fs::is_directory(target, error)) {
    *reason = path + " is a directory";
    return false;
  }
  if (!cv::haveImageWriter(path)) {
    *reason = "no image format for the extension of " + path;
    return false;
  }
  // Same directory (so the rename cannot cross file systems), same extension
  // (it chooses the format).
  const fs::path temporary =
      target.parent_path() / ("." + target.stem().string() + ".partial-" +
                              std::to_string(::getpid()) + target.extension().string());
  RemoveUnlessKept cleanup(temporary);

  bool written = false;
  try {
    written = cv::imwrite(temporary.string(), image);
  } catch (const cv::Exception& e) {
    *reason = e.what();
    return false;
  }
  if (!written) {
    *reason = "the image encoder failed writing " + temporary.string();
    return false;
  }
  // The encoder does not see every failure (a full disk may show only when
  // its buffered file is closed): the file must decode to the same size.
  cv::Mat back;
  try {
    back = cv::imread(temporary.string(), cv::IMREAD_UNCHANGED);
  } catch (const cv::Exception&) {
    back.release();
  }
  if (back.cols != image.cols || back.rows != image.rows) {
    *reason = "the written file " + temporary.string() +
              " does not read back as the image (disk full or file size limit?)";
    return false;
  }
  fs::rename(temporary, target, error);
  if (error) {
    *reason = "cannot rename " + temporary.string() + " to " + path + ": " + error.message();
    return false;
  }
  cleanup.keep();
  return true;
}
