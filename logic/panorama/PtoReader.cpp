#include "panorama/PtoReader.h"

#include <filesystem>
#include <vector>

#include "base/RegularFile.h"
#include "base/TextFormat.h"
#include "panorama/JpegHeader.h"
#include "panorama/PtoImages.h"
#include "panorama/PtoStatements.h"

namespace {

// A Windows drive ("C:") or network path ("\\server"): never a place on
// this computer.
bool isForeignAbsolute(const std::string& name) {
  const bool drive = name.size() >= 2 && name[1] == ':' &&
                     ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
  return drive || (name.size() >= 2 && name[0] == '\\' && name[1] == '\\');
}

// The photograph's file: found, with its header size confirmed for JPEGs.
bool checkPhotograph(const std::string& folder, PtoImage* image, std::string* reason) {
  const std::string shown = printableText(image->fileName, 200);
  image->path = findPhotograph(folder, image->fileName);
  if (image->path.empty()) {
    *reason = formatText("Foto nicht gefunden: %s (Bild %d, Zeile %d)", shown.c_str(), image->index, image->line);
    return false;
  }
  JpegHeader header;
  std::string why;
  switch (readJpegHeader(image->path, &header, &why)) {
    case JpegRead::kNotJpeg: {
      // Another file type: its loader checks it; an empty file (which is
      // also what the system's /proc files look like) is no photograph.
      RegularFile file;
      if (file.open(image->path) == RegularFile::Status::kOpen && file.size() > 0) return true;
      *reason = formatText("Foto ist leer: %s (Bild %d, Zeile %d)", shown.c_str(), image->index, image->line);
      return false;
    }
    case JpegRead::kNotAFile:
      *reason = formatText("Foto nicht lesbar: %s (%s)", shown.c_str(), why.c_str());
      return false;
    case JpegRead::kDamaged:
      *reason = formatText("Foto beschädigt: %s (%s)", shown.c_str(), why.c_str());
      return false;
    case JpegRead::kRead:
      break;
  }
  if (header.width != image->width || header.height != image->height) {
    *reason = formatText("Foto %s hat %d × %d Pixel, das Projekt nennt in Zeile %d aber %d × %d", shown.c_str(),
                         header.width, header.height, image->line, image->width, image->height);
    return false;
  }
  image->sizeChecked = true;
  image->exifOrientation = header.orientation;
  return true;
}

}  // namespace

std::string findPhotograph(const std::string& folder, const std::string& fileName) {
  namespace fs = std::filesystem;
  if (fileName.empty()) return "";
  std::vector<std::string> candidates;
  if (fileName.front() == '/') {
    candidates.push_back(fileName);
  } else if (!isForeignAbsolute(fileName)) {
    candidates.push_back((fs::path(folder) / fileName).string());
    std::string slashes = fileName;
    for (char& c : slashes) c = c == '\\' ? '/' : c;
    if (slashes != fileName) candidates.push_back((fs::path(folder) / slashes).string());
  }
  const std::size_t cut = fileName.find_last_of("/\\");
  const std::string last = cut == std::string::npos ? fileName : fileName.substr(cut + 1);
  if (!last.empty() && last != "." && last != "..") candidates.push_back((fs::path(folder) / last).string());
  for (const std::string& candidate : candidates) {
    if (isReadableRegularFile(candidate)) return candidate;
  }
  return "";
}

bool PtoReader::read(const std::string& path) {
  project_ = PtoProject();
  error_.clear();
  std::string text;
  const std::string shown = printableText(path, 200);
  switch (readRegularFile(path, kMaxFileBytes, &text)) {
    case FileRead::kRead:
      break;
    case FileRead::kMissing:
      error_ = "Projektdatei nicht gefunden: " + shown;
      return false;
    case FileRead::kNotRegular:
      error_ = "Projektdatei ist keine gewöhnliche Datei: " + shown;
      return false;
    case FileRead::kUnreadable:
      error_ = "Projektdatei nicht lesbar: " + shown;
      return false;
    case FileRead::kTooLarge:
      error_ = formatText("Projektdatei größer als %zu MB: %s", kMaxFileBytes >> 20, shown.c_str());
      return false;
  }
  const std::string folder = std::filesystem::path(path).parent_path().string();
  return parse(text, folder.empty() ? "." : folder);
}

bool PtoReader::parse(std::string_view text, const std::string& folder) {
  project_ = PtoProject();
  error_.clear();
  PtoStatements statements;
  std::vector<PtoImage> images;
  if (!readPtoStatements(text, &statements, &error_) || !assemblePtoImages(statements, &images, &error_)) {
    return false;
  }
  PtoProject project;
  std::error_code failed;
  const std::filesystem::path absolute = std::filesystem::absolute(folder, failed);
  project.folder = failed ? folder : absolute.string();
  project.panoramaProjection = statements.panoramaProjection;
  project.panoramaWidth = statements.panoramaWidth;
  project.panoramaHeight = statements.panoramaHeight;
  project.panoramaHfov = statements.panoramaHfov;
  for (PtoImage& image : images) {
    if (image.disabled) {
      ++project.disabledCount;
    } else {
      project.images.push_back(std::move(image));
    }
  }
  if (project.images.empty()) {
    error_ = formatText("Das Projekt enthält keine eingeschalteten Bilder (%d ausgeschaltet)", project.disabledCount);
    return false;
  }
  for (PtoImage& image : project.images) {
    if (!checkPhotograph(project.folder, &image, &error_)) return false;
  }
  project_ = std::move(project);
  return true;
}
