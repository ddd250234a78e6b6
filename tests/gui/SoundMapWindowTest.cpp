// The window's side of reading the sound map: the pointer line, the
// threshold slider, the View menu and saving the shown view, against a
// recording listener.
#include <QAction>
#include <QErrorMessage>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTextEdit>
#include <QtTest>

#include <memory>

#include <opencv2/imgcodecs.hpp>

#include "Graphicsscene.h"
#include "RecordingListener.h"
#include "support/TempDir.h"
#include "viewer.h"

using Calls = std::vector<std::string>;

namespace {

// A move over the scene with `buttons` held.
void moveTo(Graphicsscene& scene, QPointF at, Qt::MouseButtons buttons = Qt::NoButton) {
  QGraphicsSceneMouseEvent event(QEvent::GraphicsSceneMouseMove);
  event.setButtons(buttons);
  event.setScenePos(at);
  event.setLastScenePos(at);
  QCoreApplication::sendEvent(&scene, &event);
}

cv::Mat pattern() {
  cv::Mat image(60, 80, CV_8UC3);
  for (int y = 0; y < image.rows; ++y) {
    for (int x = 0; x < image.cols; ++x) image.at<cv::Vec3b>(y, x) = cv::Vec3b(x * 3, y * 4, 99);
  }
  return image;
}

}  // namespace

class SoundMapWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<viewer> window;
  RecordingListener listener;

  template <typename T>
  T* child(const char* name) const {
    return window->findChild<T*>(name);
  }
  QLabel* pointerLine() const { return window->pointerLine(); }
  // Shows `image` on the canvas as the controller's drawImage does.
  void show(const cv::Mat& image) {
    window->drawImage(image);
    QCoreApplication::processEvents();
  }
  QString errorText() const {
    auto* dialog = window->findChild<QErrorMessage*>();
    if (dialog == nullptr) return QString();
    QString text;
    for (auto* edit : dialog->findChildren<QTextEdit*>()) text += edit->toPlainText();
    return text;
  }

 private slots:
  void init() {
    listener = RecordingListener();
    window = std::make_unique<viewer>();
    window->setListener(&listener);
    window->canvasScene()->setListener(&listener);
  }
  void cleanup() { window.reset(); }

  void pointerLineShowsTheReadingUnderThePointer() {
    show(pattern());
    listener.reading.inView = true;
    listener.reading.azimuth = 12.345;
    listener.reading.altitude = 95.0;
    listener.reading.hasValue = true;
    listener.reading.value = 0.4321f;
    moveTo(*window->canvasScene(), QPointF(12.7, 34.2));
    QCOMPARE(listener.pointerQueries, Calls({"12 34"}));
    QCOMPARE(pointerLine()->text(), QString::fromUtf8("Azimut 12.35°, Höhe 95.00°, Wert 0.4321"));
    // The camera line is not touched.
    QCOMPARE(child<QLabel>("statusLabel")->text(), QString());

    listener.reading.hasValue = false;
    moveTo(*window->canvasScene(), QPointF(0.0, 59.9));
    QCOMPARE(listener.pointerQueries.back(), std::string("0 59"));
    QCOMPARE(pointerLine()->text(), QString::fromUtf8("Azimut 12.35°, Höhe 95.00°"));
    QVERIFY(listener.calls.empty());  // a query, never an action
  }

  void pointerOffTheImageOrWithAButtonHeldAsksNothing() {
    show(pattern());
    listener.reading.inView = true;
    moveTo(*window->canvasScene(), QPointF(5, 5));
    QVERIFY(!pointerLine()->text().isEmpty());
    for (const QPointF at : {QPointF(80, 10), QPointF(10, 60), QPointF(-0.5, 10)}) {
      moveTo(*window->canvasScene(), at);
      QCOMPARE(pointerLine()->text(), QString());
    }
    const std::size_t asked = listener.pointerQueries.size();
    moveTo(*window->canvasScene(), QPointF(5, 5), Qt::LeftButton);  // a drag
    QCOMPARE(listener.pointerQueries.size(), asked);
    QCOMPARE(asked, std::size_t(1));
  }

  void canvasTracksThePointer() {
    QVERIFY(child<QGraphicsView>("canvas")->viewport()->hasMouseTracking());
  }

  void leavingTheCanvasClearsThePointerLine() {
    show(pattern());
    listener.reading.inView = true;
    moveTo(*window->canvasScene(), QPointF(5, 5));
    QVERIFY(!pointerLine()->text().isEmpty());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(child<QGraphicsView>("canvas")->viewport(), &leave);
    QCOMPARE(pointerLine()->text(), QString());
    // A new image does not bring it back while the pointer is away.
    show(pattern());
    QCOMPARE(pointerLine()->text(), QString());
  }

  void aNewImageUpdatesTheLineUnderAStillPointer() {
    show(pattern());
    listener.reading.inView = true;
    moveTo(*window->canvasScene(), QPointF(5, 5));
    listener.reading.azimuth = 33.0;
    show(pattern());
    QVERIFY(pointerLine()->text().startsWith("Azimut 33.00"));
  }

  void thresholdSliderLegendAndZumMaximumReachTheListener() {
    window->setSoundControlsEnabled(true);
    QVERIFY(child<QSlider>("horizontalSlider_Threshold")->isEnabled());
    QVERIFY(child<QAction>("actionZumMaximum")->isEnabled());
    child<QSlider>("horizontalSlider_Threshold")->setValue(37);
    child<QAction>("actionLegende")->trigger();  // off
    child<QAction>("actionLegende")->trigger();  // on again
    child<QAction>("actionZumMaximum")->trigger();
    QCOMPARE(listener.calls, Calls({"setThreshold 37", "setLegendVisible 0", "setLegendVisible 1",
                                    "turnToPeak"}));
    window->setSoundControlsEnabled(false);
    QVERIFY(!child<QSlider>("horizontalSlider_Threshold")->isEnabled());
    QVERIFY(!child<QAction>("actionZumMaximum")->isEnabled());
  }

  void keyMTurnsToThePeak() {
    window->setSoundControlsEnabled(true);
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_M);
    QCOMPARE(listener.calls, Calls({"turnToPeak"}));
  }

  void savedViewIsTheShownImage() {
    TempDir dir;
    QVERIFY(!child<QAction>("actionSaveView")->isEnabled());
    const cv::Mat image = pattern();
    show(image);
    QVERIFY(child<QAction>("actionSaveView")->isEnabled());
    const QString path = QString::fromStdString(dir.file("ansicht"));
    window->chooseSaveFile = [path] { return path; };
    child<QAction>("actionSaveView")->trigger();
    const cv::Mat saved = cv::imread(dir.file("ansicht.png"), cv::IMREAD_COLOR);
    QCOMPARE(saved.size(), image.size());
    QCOMPARE(cv::norm(saved, image, cv::NORM_INF), 0.0);
    QVERIFY(window->statusBar()->currentMessage().contains("ansicht.png"));
    QCOMPARE(errorText(), QString());

    // Cancelled: nothing.
    window->chooseSaveFile = [] { return QString(); };
    child<QAction>("actionSaveView")->trigger();
    QCOMPARE(errorText(), QString());
  }

  void saveToAnUnwritablePlaceSaysWhyInGerman() {
    TempDir dir;
    show(pattern());
    const QString path = QString::fromStdString(dir.file("fehlt/ansicht.png"));
    window->chooseSaveFile = [path] { return path; };
    window->show();
    child<QAction>("actionSaveView")->trigger();
    QTRY_VERIFY(errorText().contains("Die Ansicht konnte nicht gespeichert werden."));
    QVERIFY(errorText().contains("existiert nicht"));
    QVERIFY(!QFile::exists(path));
  }
};

QTEST_MAIN(SoundMapWindowTest)
#include "SoundMapWindowTest.moc"
