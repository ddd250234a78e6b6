// The real window with the real controller on a small sample panorama: the
// File menu opens the panorama and its sound data, the transparency slider
// blends the sound layer in with its legend, "Zum Maximum" centres the
// loudest direction, the threshold slider hides quiet cells, a saved view is
// the displayed image, a malformed description is refused with the error
// dialog, the view's keys and "Ziehen" turn the camera, a dropped panorama
// and sound directory open one after the other, and closing the window
// closes the controller once.
#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QErrorMessage>
#include <QFile>
#include <QGraphicsView>
#include <QLabel>
#include <QSet>
#include <QSlider>
#include <QTextBrowser>
#include <QTextEdit>
#include <QtTest>

#include <chrono>
#include <memory>
#include <sstream>

#include <cmath>

#include <opencv2/imgcodecs.hpp>

#include "SampleSound.h"
#include "SampleWriter.h"
#include "SettledView.h"
#include "RecentFiles.h"
#include "base/Logger.h"
#include "camera/PointerGrab.h"
#include "controller/PanController.h"
#include "controller/PointerReading.h"
#include "sound/ColorMap.h"
#include "sound/SoundData.h"
#include "sound/SoundLegend.h"
#include "sound/SoundPeak.h"
#include "support/TempDir.h"
#include "StartController.h"
#include "viewer.h"

namespace {

constexpr auto kTimeout = std::chrono::seconds(60);

// Distinct colours among the pixels: a blank canvas has one or two (its
// background and the frame), a photographed view hundreds.
int distinctColours(const QImage& picture) {
  const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
  QSet<QRgb> colours;
  for (int y = 0; y < rgb.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < rgb.width(); ++x) colours.insert(line[x]);
  }
  return int(colours.size());
}

// The text of a visible error dialog among the top-level widgets, or "".
QString shownErrorText() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QErrorMessage*>(widget);
    if (dialog == nullptr || !dialog->isVisible()) continue;
    QString text;
    for (auto* label : dialog->findChildren<QLabel*>()) text += label->text();
    for (auto* edit : dialog->findChildren<QTextEdit*>()) text += edit->toPlainText();
    return text;
  }
  return QString();
}

// The mean absolute difference of the grey values of two square patches of
// 2 r + 1 pixels around `a` in `first` and `b` in `second` (0 ... 255).
double patchDifference(const QImage& first, QPoint a, const QImage& second, QPoint b, int r) {
  double sum = 0.0;
  for (int dy = -r; dy <= r; ++dy) {
    for (int dx = -r; dx <= r; ++dx) {
      sum += std::abs(qGray(first.pixel(a + QPoint(dx, dy))) -
                      qGray(second.pixel(b + QPoint(dx, dy))));
    }
  }
  return sum / ((2 * r + 1) * (2 * r + 1));
}

void sendMouse(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
  QMouseEvent event(type, QPointF(at), QPointF(target->mapToGlobal(at)),
                    type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(target, &event);
}

int countLines(const std::string& text, const std::string& line) {
  std::istringstream in(text);
  int count = 0;
  for (std::string read; std::getline(in, read);) count += read == line ? 1 : 0;
  return count;
}

}  // namespace

class EndToEndTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TempDir> work;
  std::unique_ptr<viewer> window;
  std::unique_ptr<PanController> controller;
  SettledView* view = nullptr;  // owned by the window

  template <typename T>
  T* child(const char* name) const {
    return window->findChild<T*>(name);
  }
  QImage canvasPicture() const { return child<QGraphicsView>("canvas")->grab().toImage(); }
  void openPanorama(const QString& path) {
    window->chooseXmlFile = [path] { return path; };
    child<QAction>("actionOpen_XML")->trigger();
  }

 private slots:
  void initTestCase() {
    work = std::make_unique<TempDir>();  // the log and the sample land here
    std::string error;
    QVERIFY2(writeSmallSample(work->file("sample"), &error), error.c_str());

    // As the program entry does it: the window is shown first, so that the
    // controller starts with the canvas's real size.
    window = std::make_unique<viewer>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    controller = startController(*window);
    view = new SettledView(window.get(), controller.get());
    QVERIFY(view->waitUntilSettled(kTimeout));
  }

  void cleanupTestCase() {
    if (window) window->deleteListener();
    controller.reset();
    window.reset();
    work.reset();
  }

  void panoramaFromFileMenuIsShownWithItsLens() {
    QVERIFY(distinctColours(canvasPicture()) < 5);  // nothing drawn yet
    openPanorama(QString::fromStdString(work->file("sample/panorama.xml")));
    QVERIFY(view->waitUntilSettled(kTimeout, 1));

    QCOMPARE(shownErrorText(), QString());
    auto* canvas = child<QGraphicsView>("canvas");
    QCOMPARE(window->currentFrame().size(), canvas->size());
    QVERIFY(distinctColours(canvasPicture()) > 100);
    QVERIFY2(child<QTextBrowser>("infoBox")->toPlainText().startsWith("Objektiv: "),
             qPrintable(child<QTextBrowser>("infoBox")->toPlainText()));
    QVERIFY(child<QLabel>("statusLabel")->text().startsWith("Focallength: 50.00"));
    // Without sound data the sound controls stay off.
    QVERIFY(!child<QSlider>("horizontalSlider_Trans")->isEnabled());
    QVERIFY(!child<QSlider>("horizontalSlider_Repr")->isEnabled());
  }

  void soundDataEnableTheSlidersAndStayTransparent() {
    const QImage before = window->currentFrame();
    const int frames = view->frames();
    const QString directory = QString::fromStdString(work->file("sample/sound"));
    window->chooseAudioDirectory = [directory] { return directory; };
    child<QAction>("actionOpen_Audio_Data")->trigger();
    QVERIFY(view->waitUntilSettled(kTimeout));

    QCOMPARE(shownErrorText(), QString());
    QCOMPARE(child<QSlider>("horizontalSlider_Repr")->maximum(),
             int(SoundSet::standard().size()) - 1);
    QVERIFY(child<QSlider>("horizontalSlider_Trans")->isEnabled());
    QVERIFY(child<QSlider>("horizontalSlider_Repr")->isEnabled());
    // The transparency slider is still at 0: nothing of the sound is shown.
    QCOMPARE(view->frames(), frames);
    QCOMPARE(window->currentFrame(), before);
  }

  void transparencySliderBlendsTheSoundLayerIn() {
    const QImage before = window->currentFrame();
    const QImage canvasBefore = canvasPicture();
    const int frames = view->frames();
    child<QSlider>("horizontalSlider_Trans")->setValue(50);
    QVERIFY(view->waitUntilSettled(kTimeout, frames + 1));

    QCOMPARE(controller->soundAlpha(), 0.5f);
    QCOMPARE(controller->soundSetCount(), int(SoundSet::standard().size()));
    QCOMPARE(window->currentFrame().size(), before.size());
    QVERIFY(window->currentFrame() != before);
    QVERIFY(canvasPicture() != canvasBefore);
    QVERIFY(child<QLabel>("statusLabel")->text().contains("Sound: "));
  }

  void legendIsDrawnIntoTheShownImage() {
    const QImage frame = window->currentFrame().convertToFormat(QImage::Format_RGB32);
    const LegendLayout layout =
        legendLayout(frame.width(), frame.height(), controller->soundSetName());
    QVERIFY(layout.fits);
    const SoundData colours;
    for (int t = 0; t < kLegendTicks; ++t) {
      const int e = colorEntry(t / 4.0);
      const QRgb pixel = frame.pixel(layout.ticks[t], layout.strip.y + 1);
      QCOMPARE(qRed(pixel), int(colours.red[e]));
      QCOMPARE(qGreen(pixel), int(colours.green[e]));
      QCOMPARE(qBlue(pixel), int(colours.blue[e]));
    }
  }

  void zumMaximumCentresTheLoudestDirection() {
    SoundPeak peak;
    QVERIFY(controller->soundPeak(&peak));
    const int frames = view->frames();
    QVERIFY(child<QAction>("actionZumMaximum")->isEnabled());
    child<QAction>("actionZumMaximum")->trigger();
    QVERIFY(view->waitUntilSettled(kTimeout, frames + 1));
    const CamData camera = controller->camera();
    QVERIFY(std::fabs(std::remainder(camera.azimuth - peak.azimuth, 2 * M_PI)) < 1e-9);
    QCOMPARE(camera.altitude, peak.altitude);
    const PointerReading centre = controller->readPointer(camera.width / 2, camera.height / 2);
    QCOMPARE(centre.row, peak.row);
    QCOMPARE(centre.col, peak.col);
  }

  void thresholdSliderHidesTheQuietCells() {
    const QImage before = window->currentFrame();
    const int frames = view->frames();
    child<QSlider>("horizontalSlider_Threshold")->setValue(30);
    QVERIFY(view->waitUntilSettled(kTimeout, frames + 1));
    QCOMPARE(controller->soundThreshold(), 0.3f);
    QVERIFY(window->currentFrame() != before);
  }

  void savedViewIsTheDisplayedImage() {
    const QString path = QString::fromStdString(work->file("gespeichert.png"));
    window->chooseSaveFile = [path] { return path; };
    child<QAction>("actionSaveView")->trigger();
    const cv::Mat saved = cv::imread(path.toStdString(), cv::IMREAD_COLOR);
    const cv::Mat shown = controller->displayImage();
    QCOMPARE(saved.cols, shown.cols);
    QCOMPARE(saved.rows, shown.rows);
    QCOMPARE(cv::norm(saved, shown, cv::NORM_INF), 0.0);
    const QImage frame = window->currentFrame().convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < frame.height(); y += 9) {
      for (int x = 0; x < frame.width(); x += 7) {
        const cv::Vec3b bgr = saved.at<cv::Vec3b>(y, x);
        QCOMPARE(frame.pixel(x, y), qRgb(bgr[2], bgr[1], bgr[0]));
      }
    }
  }

  void malformedDescriptionShowsTheErrorAndKeepsTheImage() {
    const QString bad = QString::fromStdString(work->file("broken.xml"));
    QFile file(bad);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<panorama><picture id=\"0\"");
    file.close();
    const QImage before = window->currentFrame();

    openPanorama(bad);
    QVERIFY(view->waitUntilSettled(kTimeout));
    QTRY_VERIFY(shownErrorText().contains("Fehler beim lesen der XML-Datei!"));
    QCOMPARE(window->currentFrame(), before);

    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (qobject_cast<QErrorMessage*>(widget) != nullptr) widget->close();
    }
    QTRY_COMPARE(shownErrorText(), QString());
  }

  void arrowKeysAndHomeTurnTheCamera() {
    auto* canvas = child<QGraphicsView>("canvas");
    auto* status = child<QLabel>("statusLabel");
    canvas->setFocus();
    struct Key {
      Qt::Key key;
      Qt::KeyboardModifiers modifiers;
      double azimuth;
      double altitude;
      const char* line;
    };
    const Key keys[] = {
        {Qt::Key_Left, Qt::NoModifier, 2.0, 90.0, "Azimuth: 2.00, Altitude: 90.00"},
        {Qt::Key_Up, Qt::ShiftModifier, 2.0, 100.0, "Azimuth: 2.00, Altitude: 100.00"},
        {Qt::Key_Home, Qt::NoModifier, 0.0, 90.0, "Azimuth: 0.00, Altitude: 90.00"},
    };
    // Earlier cases may have turned the camera: Home first brings back the
    // start camera (its view is shown whatever it was).
    {
      const int frames = view->frames();
      QTest::keyClick(canvas, Qt::Key_Home);
      QVERIFY(view->waitUntilSettled(kTimeout, frames + 1));
    }
    for (const Key& key : keys) {
      const QImage before = window->currentFrame();
      const int frames = view->frames();
      QTest::keyClick(canvas, key.key, key.modifiers);
      QVERIFY(view->waitUntilSettled(kTimeout, frames + 1));
      const CamData camera = controller->camera();
      QCOMPARE(qRound(camera.azimuth * 180.0 / M_PI * 1000), qRound(key.azimuth * 1000));
      QCOMPARE(qRound(camera.altitude * 180.0 / M_PI * 1000), qRound(key.altitude * 1000));
      QVERIFY2(status->text().contains(key.line), qPrintable(status->text()));
      QVERIFY(window->currentFrame() != before);
    }
  }

  // The panorama opened above is shown: the canvas has its scene, which
  // receives the mouse.
  void ziehenKeepsTheGrabbedPointUnderThePointer() {
    child<QAction>("actionZiehen")->setChecked(true);
    auto* canvas = child<QGraphicsView>("canvas");
    QWidget* surface = canvas->viewport();
    const QPoint press(surface->width() / 2 - 40, surface->height() / 2 - 20);
    const QPoint end = press + QPoint(90, 50);
    const QPointF grabbedAt = canvas->mapToScene(press);
    const QPointF endAt = canvas->mapToScene(end);
    const CamData before = controller->camera();
    const QImage frameBefore = window->currentFrame();
    const Vec3 grabbed = pointerDirection(before, grabbedAt.x(), grabbedAt.y());

    sendMouse(surface, QEvent::MouseButtonPress, press, Qt::LeftButton);
    for (int step = 1; step <= 3; ++step) {
      sendMouse(surface, QEvent::MouseMove, press + (end - press) * step / 3, Qt::LeftButton);
      QVERIFY(view->waitUntilSettled(kTimeout));
    }
    sendMouse(surface, QEvent::MouseButtonRelease, end, Qt::NoButton);
    QVERIFY(view->waitUntilSettled(kTimeout));
    child<QAction>("actionZiehen")->setChecked(false);

    // The grabbed direction lies under the pointer, within a pixel.
    const CamData after = controller->camera();
    QVERIFY(after.azimuth != before.azimuth && after.altitude != before.altitude);
    QCOMPARE(after.f, before.f);
    double column = 0.0;
    double row = 0.0;
    QVERIFY(directionPosition(after, grabbed, &column, &row));
    QVERIFY2(std::hypot(column - endAt.x(), row - endAt.y()) < 1.0,
             qPrintable(QString("%1 %2 vs %3 %4").arg(column).arg(row).arg(endAt.x()).arg(endAt.y())));
    // And so does what the image showed there: the patch moved with the
    // pointer (while the image at the press point changed).
    const QImage frameAfter = window->currentFrame();
    const QPoint from = grabbedAt.toPoint();
    const QPoint to = endAt.toPoint();
    const double moved = patchDifference(frameBefore, from, frameAfter, to, 6);
    const double stayed = patchDifference(frameBefore, from, frameAfter, from, 6);
    QVERIFY2(moved < 12.0 && stayed > 2.0 * moved,
             qPrintable(QString("moved %1, stayed %2").arg(moved).arg(stayed)));
  }

  void droppedPanoramaAndSoundOpenOneAfterTheOther() {
    const QString xml = QString::fromStdString(work->file("sample/panorama.xml"));
    const QString sound = QString::fromStdString(work->file("sample/sound"));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(sound), QUrl::fromLocalFile(xml)});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &enter);
    QVERIFY(enter.isAccepted());
    const int frames = view->frames();
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &drop);
    QVERIFY(view->waitUntilSettled(kTimeout, frames + 1));
    QTRY_COMPARE(child<QLabel>("label_audio")->text(), sound);
    QVERIFY(view->waitUntilSettled(kTimeout));

    QCOMPARE(shownErrorText(), QString());
    QCOMPARE(child<QLabel>("label_xml")->text(), xml);
    QCOMPARE(QString::fromStdString(controller->panoramaPath()), xml);
    QVERIFY(controller->soundLoaded());
    QCOMPARE(window->recentFiles()->paths().first(), xml);
    const std::string log = readWholeFile(work->file(Logger::kFileName));
    const auto opened = log.rfind("PanController::openPanorama panorama has been opened");
    const auto sounded = log.rfind("PanController::openSoundData soundData sucessfully loaded");
    QVERIFY(opened != std::string::npos && sounded != std::string::npos && opened < sounded);
  }

  void closingTheWindowClosesTheControllerOnce() {
    QVERIFY(window->close());
    // The controller's close ended every thread and deleted the log last.
    const std::string closed = readWholeFile(work->file(Logger::kFileName));
    const std::string end = "\tLogger::~Logger I'll be back!\n";
    QVERIFY(closed.size() >= end.size());
    QCOMPARE(closed.substr(closed.size() - end.size()), end);
    QVERIFY(controller->settled());
    QVERIFY(controller->panorama() == nullptr);
    QVERIFY(!controller->soundLoaded());
    window->show();
    QVERIFY(window->close());
    const std::string log = readWholeFile(work->file(Logger::kFileName));
    QCOMPARE(log, closed);
    QCOMPARE(countLines(log, "\tPanController::close"), 1);
    QCOMPARE(countLines(log, "\tLogger::~Logger I'll be back!"), 1);
  }
};

QTEST_MAIN(EndToEndTest)
#include "EndToEndTest.moc"
