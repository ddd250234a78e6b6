#include "ViewerSettings.h"

#include <QDir>
#include <QFileInfo>

namespace {

const char* const kLastDirectory = "files/lastDirectory";
const char* const kRecentPanoramas = "files/recentPanoramas";
const char* const kDragToTurn = "view/dragToTurn";

}  // namespace

QString ViewerSettings::lastDirectory() const {
  const QString stored = settings_.value(kLastDirectory).toString();
  if (!stored.isEmpty() && QFileInfo(stored).isDir()) {
    return stored;
  }
  return QDir::homePath();
}

void ViewerSettings::rememberDirectory(const QString& directory) {
  if (directory.isEmpty()) {
    return;
  }
  settings_.setValue(kLastDirectory, QDir::cleanPath(QFileInfo(directory).absoluteFilePath()));
}

QStringList ViewerSettings::recentPanoramas() const {
  return settings_.value(kRecentPanoramas).toStringList();
}

void ViewerSettings::setRecentPanoramas(const QStringList& paths) {
  settings_.setValue(kRecentPanoramas, paths);
}

bool ViewerSettings::dragToTurn() const { return settings_.value(kDragToTurn, false).toBool(); }

void ViewerSettings::setDragToTurn(bool on) { settings_.setValue(kDragToTurn, on); }
