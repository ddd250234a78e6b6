#include "panorama/ImageOutput.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
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

// Why the encoder could not create a file in `folder`, where the folder
// itself is the reason; kEncoder otherwise.
ImageWriteError folderProblem(const fs::path& folder) {
  const fs::path where = folder.empty() ? fs::path(".") : folder;
  std::error_code error;
  if (!fs::is_directory(where, error)) {
    return ImageWriteError::kNoFolder;
  }
  if (::access(where.c_str(), W_OK | X_OK) != 0) {
    return ImageWriteError::kReadOnly;
  }
  return ImageWriteError::kEncoder;
}

std::string quoted(const std::string& text) { return "„" + text + "“"; }

std::string lowerExtension(const fs::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

}  // namespace

ImageWriteResult writeImageSafely(const cv::Mat& image, const std::string& path) {
  ImageWriteResult result;
  if (image.empty()) {
    result.error = ImageWriteError::kNoImage;
    return result;
  }
  const fs::path target(path);
  std::error_code error;
  if (target.filename().empty() || fs::is_directory(target, error)) {
    result.error = ImageWriteError::kDirectory;
    return result;
  }
  if (!cv::haveImageWriter(path)) {
    result.error = ImageWriteError::kNoFormat;
    return result;
  }
  // Same directory (so the rename cannot cross file systems), same extension
  // (it chooses the format).
  const fs::path temporary =
      target.parent_path() / ("." + target.stem().string() + ".partial-" +
                              std::to_string(::getpid()) + target.extension().string());
  result.temporary = temporary.string();
  RemoveUnlessKept cleanup(temporary);

  bool written = false;
  try {
    written = cv::imwrite(temporary.string(), image);
  } catch (const cv::Exception& e) {
    result.error = ImageWriteError::kEncoder;
    result.detail = e.what();
    return result;
  }
  if (!written) {
    result.error = folderProblem(target.parent_path());
    return result;
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
    result.error = ImageWriteError::kReadBack;
    return result;
  }
  fs::rename(temporary, target, error);
  if (error) {
    result.error = ImageWriteError::kRename;
    result.detail = error.message();
    return result;
  }
  cleanup.keep();
  return result;
}

std::string englishWriteReason(const ImageWriteResult& result, const std::string& path) {
  switch (result.error) {
    case ImageWriteError::kNone:
      return std::string();
    case ImageWriteError::kNoImage:
      return "there is no image to write";
    case ImageWriteError::kDirectory:
      return path + " is a directory";
    case ImageWriteError::kNoFormat:
      return "no image format for the extension of " + path;
    case ImageWriteError::kNoFolder:
    case ImageWriteError::kReadOnly:
      return "the image encoder failed writing " + result.temporary;
    case ImageWriteError::kEncoder:
      return result.detail.empty() ? "the image encoder failed writing " + result.temporary
                                   : result.detail;
    case ImageWriteError::kReadBack:
      return "the written file " + result.temporary +
             " does not read back as the image (disk full or file size limit?)";
    case ImageWriteError::kRename:
      return "cannot rename " + result.temporary + " to " + path + ": " + result.detail;
  }
  return std::string();
}

std::string germanWriteReason(const ImageWriteResult& result, const std::string& path) {
  const std::string folder = fs::path(path).parent_path().string();
  switch (result.error) {
    case ImageWriteError::kNone:
      return std::string();
    case ImageWriteError::kNoImage:
      return "Es wird noch kein Bild angezeigt.";
    case ImageWriteError::kDirectory:
      return quoted(path) + " ist ein Verzeichnis.";
    case ImageWriteError::kNoFormat:
      return "Für die Endung von " + quoted(path) + " gibt es kein Bildformat.";
    case ImageWriteError::kNoFolder:
      return "Das Verzeichnis " + quoted(folder.empty() ? "." : folder) + " existiert nicht.";
    case ImageWriteError::kReadOnly:
      return "In das Verzeichnis " + quoted(folder.empty() ? "." : folder) +
             " darf nicht geschrieben werden.";
    case ImageWriteError::kEncoder:
      return "Die Datei " + quoted(path) + " konnte nicht geschrieben werden.";
    case ImageWriteError::kReadBack:
      return "Die geschriebene Datei ließ sich nicht wieder lesen (Datenträger voll oder "
             "Dateigröße begrenzt?).";
    case ImageWriteError::kRename:
      return "Die fertige Datei konnte nicht in " + quoted(path) + " umbenannt werden.";
  }
  return std::string();
}

bool writeImageChecked(const cv::Mat& image, const std::string& path, std::string* reason) {
  const ImageWriteResult result = writeImageSafely(image, path);
  if (!result.ok()) {
    *reason = englishWriteReason(result, path);
  }
  return result.ok();
}

bool saveViewImage(const cv::Mat& image, const std::string& path, std::string* written,
                   std::string* message) {
  static const char* const kFailed = "Die Ansicht konnte nicht gespeichert werden.";
  fs::path target(path);
  if (path.empty() || target.filename().empty()) {
    *message = std::string(kFailed) + "\n\nEs wurde kein Dateiname angegeben.";
    return false;
  }
  if (!target.has_extension()) {
    target += ".png";
  }
  const std::string extension = lowerExtension(target);
  if (extension != ".png" && extension != ".jpg" && extension != ".jpeg") {
    *message = std::string(kFailed) + "\n\nDas Bildformat " + quoted(target.extension().string()) +
               " wird nicht unterstützt: bitte als .png oder .jpg speichern.";
    return false;
  }
  const ImageWriteResult result = writeImageSafely(image, target.string());
  if (!result.ok()) {
    *message = std::string(kFailed) + "\n\n" + germanWriteReason(result, target.string());
    return false;
  }
  *written = target.string();
  return true;
}
