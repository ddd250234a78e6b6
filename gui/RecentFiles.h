#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QMenu;
class ViewerSettings;

// How many panoramas the File menu's "Zuletzt geöffnet" lists.
constexpr int kRecentFileLimit = 5;

// `list` with `path` (made absolute and clean) in front: an earlier entry of the same
// file is removed, and the list is cut to `limit` entries (none for a limit
// of 0 or less). An empty `path` leaves the list as it is.
QStringList withRecentFile(const QStringList& list, const QString& path,
                           int limit = kRecentFileLimit);

// The File menu's "Zuletzt geöffnet" submenu: one entry per recent panorama,
// most recent first, numbered for the keyboard, then "Liste leeren". The list
// lives in the settings. A file that no longer exists stays listed, disabled
// and marked "(nicht gefunden)", so that a file on an absent drive is not
// forgotten; the entries are rebuilt each time the menu opens. The submenu is
// disabled while the list is empty.
class RecentFiles : public QObject {
  Q_OBJECT

 public:
  // Fills `menu` (not owned; it outlives this object) from `settings` (not
  // owned).
  RecentFiles(QMenu* menu, ViewerSettings* settings, QObject* parent = nullptr);

  // Puts `path` in front of the list (a panorama that was opened).
  void add(const QString& path);
  // Empties the list.
  void clear();
  QStringList paths() const;

 signals:
  // An entry was chosen: open this panorama.
  void chosen(const QString& path);

 private:
  void rebuild();

  QMenu* menu_;
  ViewerSettings* settings_;
};
