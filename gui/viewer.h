#pragma once

#include <QImage>
#include <QMainWindow>
#include <QMetaType>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

#include <opencv2/core.hpp>

#include "controller/gui.h"
#include "ui_ViewerMain.h"

// Display images travel from the controller's threads to the GUI thread as
// queued signal arguments.
Q_DECLARE_METATYPE(cv::Mat)

class Graphicsscene;
class OpenProgressBar;
class QLabel;
class QShortcut;
class RecentFiles;
class ViewerSettings;
class guiListener;
struct OpenRequest;

// The main window: shows the canvas, the File menu, the two sound sliders,
// the lens information and the status line, and for reading the sound map
// the View menu, the threshold slider and the pointer line in the status
// bar (the last image shown is kept for saving). It is the controller's gui face
// and passes every user action on to its guiListener; it holds no panorama
// or sound logic itself.
//
// The gui operations may be called from any thread. drawImage copies the
// image in the caller's thread and sends the copy to the GUI thread through
// newImage; the operations that change widgets are carried into the GUI
// thread when called from elsewhere, without waiting for it.
class viewer : public QMainWindow, public gui, private Ui::ViewerMain {
  Q_OBJECT

 public:
  viewer();
  // Forgets the listener; its close is called by the close event only.
  ~viewer() override;

  // Not owned; the program entry sets it once, right after the controller
  // exists.
  void setListener(guiListener* listener);
  Graphicsscene* canvasScene() const { return scene; }
  // The last image drawn (GUI thread only).
  const QImage& currentFrame() const { return frame; }

  // gui
  void drawImage(const cv::Mat& image) override;
  int getCanvasHeight() override;
  int getCanvasWidth() override;
  void setInfoText(const char* text) override;
  void setStatusText(const char* text) override;
  void showErrorMessage(const char* text) override;
  void setRepMaximum(int maximum) override;
  int getTransMaximum() override;
  void setSoundControlsEnabled(bool enabled) override;
  // Queued to the GUI thread: an opened panorama joins the recent list, and
  // a sound directory waiting for the open (openFiles) is opened.
  void panoramaOpenEnded(const char* path, bool opened) override;
  // Carried into the GUI thread: the status bar's progress "Fotos n / N"
  // with "Abbrechen" (Escape does the same: guiListener::cancelOpen), shown
  // from the first count on; the open and drop entries wait meanwhile.
  void showOpenProgress(int done, int total) override;
  // Always queued: hides the progress and hands the end to the listener
  // (guiListener::finishOpen).
  void openProgressEnded() override;
  // The progress part of the status bar.
  OpenProgressBar* openProgress() const { return openProgress_; }

  // --- Desktop: opening from anywhere, remembered choices ---------------
  // Opens as the File menu entries do after their dialogs: label, last
  // folder, the controller's open and its messages (and, once opened, the
  // recent list).
  void openPanoramaFile(const QString& path);
  void openSoundDirectory(const QString& path);
  // The command line's and a drop's open: the panorama, then, once its open
  // has ended (panoramaOpenEnded), the sound directory unless the open was
  // cancelled; either may be empty. Ignored while an open shows its progress.
  void openFiles(const OpenRequest& request);
  ViewerSettings& settings() const { return *settings_; }
  RecentFiles* recentFiles() const { return recent_; }

  // The dialogs behind the menu entries; an empty result means cancelled.
  // They default to the Qt file dialogs; tests replace them.
  std::function<QString()> chooseXmlFile;
  std::function<QString()> chooseAudioDirectory;

  // --- Reading the sound map ------------------------------------------
  // The save dialog behind "Ansicht speichern…": a file name, empty when
  // cancelled. Defaults to the Qt dialog in the user's pictures (or home)
  // directory; tests replace it.
  std::function<QString()> chooseSaveFile;
  // The pointer line beside the camera line: direction and value under the
  // pointer, empty while the pointer is off the shown image.
  QLabel* pointerLine() const { return pointerLabel; }
  // The state of "Ansicht > Legende", which the program entry hands to a new
  // controller.
  bool legendChecked() const;
  // Writes the image shown now to a file the user chooses (PNG or JPEG);
  // a failure shows the German reason and changes nothing.
  void saveView();

  QString xmlPath;    // last result of the panorama file dialog
  QString audioPath;  // last result of the sound directory dialog
  bool audioChosen = false;

 signals:
  void newImage(cv::Mat theImg);

 public slots:
  void getPath_xml();
  void getPath_audio();
  // Shows theImg as the scene's only item; runs in the GUI thread.
  void reDraw(cv::Mat theImg);
  void setAlpha(int value);
  void setRep(int rep);
  void setTrans();
  // Forgets the listener (the program entry owns it).
  void deleteListener();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Dropped panorama files and sound directories are opened (openFiles).
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Runs `change` now on the GUI thread, or queues it there from any other
  // thread and returns at once.
  void inGuiThread(std::function<void()> change);
  bool onGuiThread() const;
  void rememberCanvasSize();
  // The wiring of the sound map's widgets and actions (constructor).
  void setupSoundMap();
  // The status bar's open progress and its Escape key (constructor).
  void setUpOpenProgress();
  // The open and drop entries are off while an open shows its progress.
  void setOpeningEntriesEnabled(bool enabled);
  // Shows what lies under scene position `at` in the pointer line.
  void showPointer(QPointF at);
  void clearPointer();

  Graphicsscene* scene = nullptr;  // owned by the canvas
  guiListener* listener = nullptr;
  QImage frame;
  cv::Mat shownImage;  // the image `frame` was made of, for saving
  QLabel* pointerLabel = nullptr;  // owned by the status bar
  OpenProgressBar* openProgress_ = nullptr;  // owned by the status bar
  QShortcut* escape_ = nullptr;               // Escape cancels, while the bar shows
  bool cancelAsked_ = false;                  // the running open was cancelled here
  QPointF pointerAt;               // last pointer position over the canvas
  bool pointerOver = false;
  bool listenerClosed = false;
  // Copies of widget state for callers outside the GUI thread.
  std::atomic<int> canvasWidth{0};
  std::atomic<int> canvasHeight{0};
  std::atomic<int> transMaximum{0};

  // Desktop: settings, recent list, menus, keys, drag mode (viewer.cpp's
  // last block).
  void setUpDesktop();
  void afterPanoramaOpen(const QString& path, bool opened);
  std::unique_ptr<ViewerSettings> settings_;
  RecentFiles* recent_ = nullptr;  // owned by the window
  QString pendingSoundDirectory_;
};
