#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

// What to open at once: a panorama (description, stitcher project or
// 360-degree photograph) and a sound directory, either may be empty. The
// window opens the panorama first and the sound directory once that open
// has ended.
struct OpenRequest {
  QString panorama;
  QString soundDirectory;

  bool empty() const { return panorama.isEmpty() && soundDirectory.isEmpty(); }
};

// True for the names the viewer opens as panoramas: *.xml, *.pto, *.jpg and
// *.jpeg, in any letter case.
bool isPanoramaFileName(const QString& path);

// The panorama and the sound directory among `paths` (dropped files): the
// first existing directory is the sound directory, the first path with a
// panorama name that is not a directory is the panorama; everything else is
// ignored.
OpenRequest openRequestForPaths(const QStringList& paths);

// openRequestForPaths for the local files among `urls`.
OpenRequest openRequestForUrls(const QList<QUrl>& urls);
