#include "viewer.h"

#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QErrorMessage>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QGraphicsPixmapItem>
#include <QKeyEvent>
#include <QMimeData>
#include <QPixmap>
#include <QResizeEvent>
#include <QShortcut>
#include <QTextDocument>
#include <QThread>

#include <cmath>
#include <utility>

#include "AboutBox.h"
#include "Graphicsscene.h"
#include "MatToQImage.h"
#include "OpenProgressBar.h"
#include "OpenRequest.h"
#include "RecentFiles.h"
#include "ViewKeys.h"
#include "ViewerSettings.h"
#include "controller/PointerReading.h"
#include "controller/guiListener.h"
#include "panorama/ImageOutput.h"

viewer::viewer() : QMainWindow(nullptr, Qt::WindowFlags()) {
  qRegisterMetaType<cv::Mat>("cv::Mat");
  setupUi(this);
  scene = new Graphicsscene(canvas);

  horizontalSlider_Trans->setMaximum(100);
  horizontalSlider_Trans->setEnabled(false);
  horizontalSlider_Repr->setEnabled(false);
  transMaximum = horizontalSlider_Trans->maximum();
  rememberCanvasSize();
  canvas->installEventFilter(this);

  setUpDesktop();

  connect(actionOpen_XML, &QAction::triggered, this, &viewer::getPath_xml);
  connect(actionOpen_Audio_Data, &QAction::triggered, this, &viewer::getPath_audio);
  connect(horizontalSlider_Trans, &QSlider::valueChanged, this, &viewer::setAlpha);
  connect(horizontalSlider_Repr, &QSlider::valueChanged, this, &viewer::setRep);
  // By name: Qt does not call a slot of a class whose destructor has already
  // run, so this never reaches a half-destroyed window (~viewer forgets the
  // listener itself).
  connect(this, SIGNAL(destroyed()), this, SLOT(deleteListener()));
  connect(this, &viewer::newImage, this, &viewer::reDraw);
  setupSoundMap();
  setUpOpenProgress();
}

viewer::~viewer() { deleteListener(); }

void viewer::setListener(guiListener* newListener) { listener = newListener; }

bool viewer::onGuiThread() const { return QThread::currentThread() == thread(); }

void viewer::inGuiThread(std::function<void()> change) {
  if (onGuiThread()) {
    change();
  } else {
    QMetaObject::invokeMethod(this, std::move(change), Qt::QueuedConnection);
  }
}

void viewer::rememberCanvasSize() {
  const QRect geometry = canvas->geometry();
  canvasWidth = geometry.right() - geometry.left() + 1;
  canvasHeight = geometry.bottom() - geometry.top() + 1;
}

bool viewer::eventFilter(QObject* watched, QEvent* event) {
  if (watched == canvas && event->type() == QEvent::Resize) rememberCanvasSize();
  if (watched == canvas->viewport() && event->type() == QEvent::Leave) clearPointer();
  // The view's keys go to the controller, not to the canvas's scrolling.
  if (watched == canvas && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (applyViewKey(key->key(), key->modifiers(), listener)) return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

// --- gui ---------------------------------------------------------------

void viewer::drawImage(const cv::Mat& image) {
  // The copy is taken here, in the caller's thread: the caller may change
  // its image as soon as this returns.
  emit newImage(image.clone());
}

int viewer::getCanvasHeight() {
  if (onGuiThread()) rememberCanvasSize();
  return canvasHeight;
}

int viewer::getCanvasWidth() {
  if (onGuiThread()) rememberCanvasSize();
  return canvasWidth;
}

namespace {

// The controller's texts are 8-bit: its own are Latin-1, while the names
// and information texts that come from files (a lens name, a sound set's
// name, a 360-degree photograph's "°" and "×") are UTF-8. A text that is
// valid UTF-8 is read as UTF-8 (Latin-1 text with letters beyond ASCII
// practically never is), any other as Latin-1.
QString fromControllerText(const char* text) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString decoded = utf8(QByteArrayView(text));
  return utf8.hasError() ? QString::fromLatin1(text) : decoded;
}

}  // namespace

void viewer::setInfoText(const char* text) {
  const QString info = fromControllerText(text);
  inGuiThread([this, info] { infoBox->setText(info); });
}

void viewer::setStatusText(const char* text) {
  const QString status = fromControllerText(text);
  inGuiThread([this, status] { statusLabel->setText(status); });
}

void viewer::showErrorMessage(const char* text) {
  // UTF-8: the reasons below the fixed first line carry file names and
  // German quotation marks and umlauts. The dialog shows rich text: the
  // plain text is converted so that its paragraphs stay apart and a "<" in a
  // file name stays a character.
  const QString message =
      Qt::convertFromPlainText(QString::fromUtf8(text), Qt::WhiteSpaceNormal);
  inGuiThread([this, message] {
    auto* dialog = new QErrorMessage(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(true);
    dialog->showMessage(message);
  });
}

void viewer::setRepMaximum(int maximum) {
  inGuiThread([this, maximum] { horizontalSlider_Repr->setMaximum(maximum); });
}

int viewer::getTransMaximum() {
  if (onGuiThread()) transMaximum = horizontalSlider_Trans->maximum();
  return transMaximum;
}

void viewer::setSoundControlsEnabled(bool enabled) {
  inGuiThread([this, enabled] {
    horizontalSlider_Trans->setEnabled(enabled);
    horizontalSlider_Repr->setEnabled(enabled);
    horizontalSlider_Threshold->setEnabled(enabled);
    actionZumMaximum->setEnabled(enabled);
  });
}

// --- opening in the background -----------------------------------------

void viewer::setUpOpenProgress() {
  openProgress_ = new OpenProgressBar(statusbar);
  statusbar->addPermanentWidget(openProgress_);
  connect(openProgress_, &OpenProgressBar::cancelRequested, this, [this] {
    cancelAsked_ = true;
    if (listener != nullptr) listener->cancelOpen();
  });
  // Escape anywhere in the window, the canvas included, while the bar shows.
  escape_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape_->setEnabled(false);
  connect(escape_, &QShortcut::activated, openProgress_, &OpenProgressBar::requestCancel);
}

void viewer::setOpeningEntriesEnabled(bool enabled) {
  actionOpen_XML->setEnabled(enabled);
  actionOpen_Audio_Data->setEnabled(enabled);
  menuZuletzt->menuAction()->setEnabled(enabled && !recent_->paths().isEmpty());
  escape_->setEnabled(!enabled);
}

void viewer::showOpenProgress(int done, int total) {
  inGuiThread([this, done, total] {
    if (openProgress_->isHidden()) setOpeningEntriesEnabled(false);
    openProgress_->showCount(done, total);
  });
}

void viewer::openProgressEnded() {
  // Always queued: every count sent before has arrived by then, and the
  // listener applies the end in the GUI thread, outside any caller.
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (!openProgress_->isHidden()) setOpeningEntriesEnabled(true);
        openProgress_->finish();
        if (listener != nullptr) listener->finishOpen();
      },
      Qt::QueuedConnection);
}

// --- slots -------------------------------------------------------------

void viewer::getPath_xml() {
  const QString chosen = chooseXmlFile();
  if (chosen.isEmpty()) return;  // cancelled: the label keeps the previous path
  openPanoramaFile(chosen);
}

void viewer::getPath_audio() {
  const QString chosen = chooseAudioDirectory();
  if (chosen.isEmpty()) {
    audioPath.clear();
    label_audio->clear();
    return;
  }
  openSoundDirectory(chosen);
}

void viewer::reDraw(cv::Mat theImg) {
  frame = matToQImage(theImg);
  shownImage = theImg;
  scene->setSceneRect(QRectF(canvas->rect()));
  canvas->setScene(scene);
  scene->clear();
  scene->addPixmap(QPixmap::fromImage(frame));
  canvas->show();
  actionSaveView->setEnabled(true);
  // The view changed under a still pointer.
  if (pointerOver) showPointer(pointerAt);
}

void viewer::setAlpha(int value) {
  if (listener != nullptr) listener->setTransValue(value);
}

void viewer::setRep(int rep) {
  if (listener != nullptr) listener->setRepValue(rep);
}

void viewer::setTrans() {
  if (audioChosen) horizontalSlider_Trans->setEnabled(true);
}

void viewer::deleteListener() {
  listener = nullptr;
  if (scene != nullptr) scene->setListener(nullptr);
}

// --- events ------------------------------------------------------------

void viewer::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (listener == nullptr || !isVisible()) return;
  rememberCanvasSize();
  listener->canvasSizeChanged(canvas->width(), canvas->height());
}

void viewer::closeEvent(QCloseEvent* event) {
  // The listener shuts down once; a second close event (the window shown
  // again and closed) must not repeat that.
  if (listener != nullptr && !listenerClosed) {
    listenerClosed = true;
    listener->close();
  }
  event->accept();
}

// --- reading the sound map ---------------------------------------------

void viewer::setupSoundMap() {
  pointerLabel = new QLabel(statusbar);
  pointerLabel->setObjectName("pointerLabel");
  statusbar->addWidget(pointerLabel, 1);
  // The scene hears moves without a button only while the canvas tracks the
  // pointer (the view turns tracking on by itself only for hover items).
  canvas->viewport()->setMouseTracking(true);
  canvas->viewport()->installEventFilter(this);
  actionSaveView->setEnabled(false);  // until the first image is shown

  chooseSaveFile = [this] {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
    QString filter;
    QString path = QFileDialog::getSaveFileName(
        this, "Ansicht speichern", QDir(folder).filePath("Ansicht.png"),
        "PNG-Bild (*.png);;JPEG-Bild (*.jpg *.jpeg)", &filter);
    // A name without an extension takes the chosen type's.
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty() && filter.startsWith("JPEG")) {
      path += ".jpg";
    }
    return path;
  };

  connect(canvasScene(), &Graphicsscene::pointerMoved, this, [this](QPointF at) {
    pointerAt = at;
    pointerOver = true;
    showPointer(at);
  });
  connect(horizontalSlider_Threshold, &QSlider::valueChanged, this, [this](int percent) {
    if (listener != nullptr) listener->setThreshold(percent);
  });
  connect(actionLegende, &QAction::toggled, this, [this](bool visible) {
    if (listener != nullptr) listener->setLegendVisible(visible);
  });
  connect(actionZumMaximum, &QAction::triggered, this, [this] {
    if (listener != nullptr) listener->turnToPeak();
  });
  connect(actionSaveView, &QAction::triggered, this, [this] { saveView(); });
}

bool viewer::legendChecked() const { return actionLegende->isChecked(); }

void viewer::showPointer(QPointF at) {
  const int column = static_cast<int>(std::floor(at.x()));
  const int row = static_cast<int>(std::floor(at.y()));
  if (listener == nullptr || shownImage.empty() || column < 0 || row < 0 ||
      column >= shownImage.cols || row >= shownImage.rows) {
    pointerLabel->clear();
    return;
  }
  pointerLabel->setText(QString::fromStdString(pointerText(listener->readPointer(column, row))));
}

void viewer::clearPointer() {
  pointerOver = false;
  pointerLabel->clear();
}

void viewer::saveView() {
  const QString path = chooseSaveFile();
  if (path.isEmpty()) return;  // cancelled
  std::string written;
  std::string message;
  if (!saveViewImage(shownImage, path.toStdString(), &written, &message)) {
    showErrorMessage(message.c_str());
    return;
  }
  statusbar->showMessage("Ansicht gespeichert: " + QString::fromStdString(written), 5000);
}

// --- desktop -----------------------------------------------------------

void viewer::setUpDesktop() {
  settings_ = std::make_unique<ViewerSettings>();

  // The dialogs start in the folder used last (else the home directory);
  // the panorama dialog offers the three kinds of panorama.
  chooseXmlFile = [this] {
    const QString filters = QString::fromUtf8(
        "Panoramen (*.xml *.pto *.jpg *.jpeg);;Panoramabeschreibung (*.xml);;"
        "Stitcher-Projekt (*.pto);;360°-Foto (*.jpg *.jpeg)");
    return QFileDialog::getOpenFileName(this, QString::fromUtf8("Panorama öffnen"),
                                        settings_->lastDirectory(), filters);
  };
  chooseAudioDirectory = [this] {
    return QFileDialog::getExistingDirectory(
        this, QString::fromUtf8("Verzeichnis mit Tondaten öffnen"), settings_->lastDirectory(),
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
  };

  recent_ = new RecentFiles(menuZuletzt, settings_.get(), this);
  connect(recent_, &RecentFiles::chosen, this, &viewer::openPanoramaFile);
  connect(actionBeenden, &QAction::triggered, this, &QWidget::close);
  connect(actionUeber, &QAction::triggered, this, [this] { showAboutBox(this); });
  connect(actionVollbild, &QAction::toggled, this,
          [this](bool on) { on ? showFullScreen() : showNormal(); });
  actionZiehen->setChecked(settings_->dragToTurn());
  scene->grabMode = actionZiehen->isChecked();
  connect(actionZiehen, &QAction::toggled, this, [this](bool on) {
    scene->grabMode = on;
    settings_->setDragToTurn(on);
  });

  // Keys reach the canvas (eventFilter) once it has the focus: from the
  // start and after a click on it.
  canvas->setFocusPolicy(Qt::StrongFocus);
  canvas->setFocus();
  // Drops anywhere on the window reach dropEvent.
  setAcceptDrops(true);
  canvas->setAcceptDrops(false);
  canvas->viewport()->setAcceptDrops(false);
}

void viewer::openPanoramaFile(const QString& path) {
  xmlPath = path;
  label_xml->setText(path);
  settings_->rememberDirectory(QFileInfo(path).absolutePath());
  if (listener != nullptr) {
    listener->openPanorama(path.toStdString());
  } else {
    pendingSoundDirectory_.clear();  // no open, so no end to wait for
  }
}

void viewer::openSoundDirectory(const QString& path) {
  audioPath = path;
  label_audio->setText(path);
  audioChosen = true;
  QDir parent(path);
  if (parent.cdUp()) settings_->rememberDirectory(parent.absolutePath());
  if (listener != nullptr) listener->openSoundData(path.toStdString());
}

void viewer::openFiles(const OpenRequest& request) {
  // One open at a time: its sound directory is still waiting.
  if (!openProgress_->isHidden()) return;
  if (request.panorama.isEmpty()) {
    if (!request.soundDirectory.isEmpty()) openSoundDirectory(request.soundDirectory);
    return;
  }
  pendingSoundDirectory_ = request.soundDirectory;
  openPanoramaFile(request.panorama);
}

void viewer::panoramaOpenEnded(const char* path, bool opened) {
  // Always queued, also from the GUI thread: the sound directory is opened
  // after the controller's open has returned, never inside it.
  const QString ended = QString::fromUtf8(path);
  QMetaObject::invokeMethod(
      this, [this, ended, opened] { afterPanoramaOpen(ended, opened); }, Qt::QueuedConnection);
}

void viewer::afterPanoramaOpen(const QString& path, bool opened) {
  if (opened) recent_->add(path);
  const QString sound = std::exchange(pendingSoundDirectory_, QString());
  // A cancelled open is never opened, and the request ends with it: its
  // sound directory is not opened either. The message outlasts the status
  // line, which the refined view that follows rewrites.
  if (std::exchange(cancelAsked_, false) && !opened) {
    statusbar->showMessage(QString::fromUtf8("Öffnen abgebrochen"), 5000);
    return;
  }
  if (!sound.isEmpty()) openSoundDirectory(sound);
}

void viewer::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

void viewer::dragMoveEvent(QDragMoveEvent* event) {
  if (openProgress_->isHidden() && event->mimeData()->hasUrls() &&
      !openRequestForUrls(event->mimeData()->urls()).empty()) {
    event->acceptProposedAction();
  }
}

void viewer::dropEvent(QDropEvent* event) {
  const OpenRequest request = openRequestForUrls(event->mimeData()->urls());
  if (request.empty()) return;
  event->acceptProposedAction();
  openFiles(request);
}
