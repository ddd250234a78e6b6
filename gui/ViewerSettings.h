#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>

// The viewer's remembered choices, kept in QSettings under the organisation
// and application names the program entry sets: the folder of the last file
// or directory opened, the recently opened panoramas and whether "Ziehen"
// (drag to turn) is on. Together with the preview cache this is all the
// viewer stores; the behaviour constants (start camera, settle time,
// weights, preview size) are built in. Tests point QSettings at a temporary
// location before the window is made.
class ViewerSettings {
 public:
  ViewerSettings() = default;

  // The folder the open dialogs start in: the last one remembered while it
  // still exists, else the home directory.
  QString lastDirectory() const;
  void rememberDirectory(const QString& directory);

  // The recent panoramas, most recent first (as stored; RecentFiles keeps
  // the list's order and length).
  QStringList recentPanoramas() const;
  void setRecentPanoramas(const QStringList& paths);

  // "Ziehen": the view follows the pointer instead of the joystick
  // look-around. Off unless chosen.
  bool dragToTurn() const;
  void setDragToTurn(bool on);

 private:
  mutable QSettings settings_;
};
