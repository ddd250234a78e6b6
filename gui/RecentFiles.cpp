#include "RecentFiles.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>

#include "ViewerSettings.h"

QStringList withRecentFile(const QStringList& list, const QString& path, int limit) {
  if (path.isEmpty()) {
    return list;
  }
  const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
  QStringList result{absolute};
  for (const QString& entry : list) {
    if (QDir::cleanPath(QFileInfo(entry).absoluteFilePath()) != absolute) {
      result << entry;
    }
  }
  return result.mid(0, qMax(limit, 0));
}

RecentFiles::RecentFiles(QMenu* menu, ViewerSettings* settings, QObject* parent)
    : QObject(parent), menu_(menu), settings_(settings) {
  connect(menu_, &QMenu::aboutToShow, this, &RecentFiles::rebuild);
  rebuild();
}

QStringList RecentFiles::paths() const {
  // A list edited elsewhere may be longer or hold duplicates: read it as the
  // menu shows it.
  QStringList clean;
  const QStringList stored = settings_->recentPanoramas();
  for (auto entry = stored.crbegin(); entry != stored.crend(); ++entry) {
    clean = withRecentFile(clean, *entry, stored.size());
  }
  return clean.mid(0, kRecentFileLimit);
}

void RecentFiles::add(const QString& path) {
  settings_->setRecentPanoramas(withRecentFile(paths(), path));
  rebuild();
}

void RecentFiles::clear() {
  settings_->setRecentPanoramas({});
  rebuild();
}

void RecentFiles::rebuild() {
  // The entries go later, not now: rebuild may run while one of them is
  // being triggered.
  for (QAction* old : menu_->actions()) {
    menu_->removeAction(old);
    old->deleteLater();
  }
  const QStringList list = paths();
  int number = 0;
  for (const QString& path : list) {
    ++number;
    // "&1 /pfad/panorama.xml": the digit is the entry's key; an ampersand in
    // the path is shown as itself.
    QString text = QString("&%1 %2").arg(number).arg(QString(path).replace("&", "&&"));
    const bool present = QFileInfo(path).isFile();
    if (!present) {
      text += QString::fromUtf8(" (nicht gefunden)");
    }
    QAction* entry = menu_->addAction(text);
    entry->setEnabled(present);
    entry->setToolTip(path);
    connect(entry, &QAction::triggered, this, [this, path] { emit chosen(path); });
  }
  if (!list.isEmpty()) {
    menu_->addSeparator();
    connect(menu_->addAction(QString::fromUtf8("Liste leeren")), &QAction::triggered, this,
            &RecentFiles::clear);
  }
  menu_->menuAction()->setEnabled(!list.isEmpty());
}
