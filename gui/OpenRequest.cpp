#include "OpenRequest.h"

#include <QDir>
#include <QFileInfo>

bool isPanoramaFileName(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  return suffix == "xml" || suffix == "pto" || suffix == "jpg" || suffix == "jpeg";
}

OpenRequest openRequestForPaths(const QStringList& paths) {
  OpenRequest request;
  for (const QString& path : paths) {
    if (path.isEmpty()) {
      continue;
    }
    const QFileInfo info(path);
    if (info.isDir()) {
      if (request.soundDirectory.isEmpty()) {
        request.soundDirectory = QDir::cleanPath(info.absoluteFilePath());
      }
    } else if (isPanoramaFileName(path) && request.panorama.isEmpty()) {
      request.panorama = QDir::cleanPath(info.absoluteFilePath());
    }
  }
  return request;
}

OpenRequest openRequestForUrls(const QList<QUrl>& urls) {
  QStringList paths;
  for (const QUrl& url : urls) {
    if (url.isLocalFile()) {
      paths << url.toLocalFile();
    }
  }
  return openRequestForPaths(paths);
}
