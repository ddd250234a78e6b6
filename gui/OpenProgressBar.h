#pragma once

#include <QWidget>

class QProgressBar;
class QPushButton;

// The status bar's part for a panorama open in the background: a progress
// bar that reads "Fotos n / N" (n previews built of N photographs) and the
// button "Abbrechen". Hidden while no open runs. GUI thread only.
class OpenProgressBar : public QWidget {
  Q_OBJECT

 public:
  explicit OpenProgressBar(QWidget* parent = nullptr);

  // Shows `done` of `total`. Counts may arrive out of order from the decode
  // threads: while shown, the bar never goes back.
  void showCount(int done, int total);
  // Hides the bar and makes it ready for the next open.
  void finish();
  // The bar's text as the user reads it ("Fotos 3 / 12").
  QString text() const;
  // Asks for the cancel as the button does; once per open (later presses
  // and calls while hidden do nothing).
  void requestCancel();

 signals:
  // The user pressed "Abbrechen" (or Escape): the open should stop.
  void cancelRequested();

 private:
  QProgressBar* bar_ = nullptr;
  QPushButton* cancel_ = nullptr;
};
