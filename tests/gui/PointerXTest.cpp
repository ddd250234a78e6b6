// The real window with the real controller in a real X session (run by
// pointer-xvfb.sh under a virtual X server): the pointer is moved over the
// canvas by the X server itself, and the pointer line in the status bar
// shows the direction and the value under it, as the controller reads them.
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QGraphicsView>
#include <QLabel>
#include <QSlider>
#include <QtTest>

#include <cmath>
#include <cstdio>
#include <memory>

#include "SampleWriter.h"
#include "SettledView.h"
#include "StartController.h"
#include "controller/PanController.h"
#include "controller/PointerReading.h"
#include "support/TempDir.h"
#include "viewer.h"

namespace {
constexpr auto kTimeout = std::chrono::seconds(60);
}

class PointerXTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TempDir> work;
  std::unique_ptr<viewer> window;
  std::unique_ptr<PanController> controller;
  SettledView* view = nullptr;

  template <typename T>
  T* child(const char* name) const {
    return window->findChild<T*>(name);
  }

 private slots:
  void initTestCase() {
    QCOMPARE(QGuiApplication::platformName(), QString("xcb"));
    work = std::make_unique<TempDir>();
    std::string error;
    QVERIFY2(writeSmallSample(work->file("sample"), &error), error.c_str());
    window = std::make_unique<viewer>();
    window->move(0, 0);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    controller = startController(*window);
    view = new SettledView(window.get(), controller.get());
    QVERIFY(view->waitUntilSettled(kTimeout));

    const QString xml = QString::fromStdString(work->file("sample/panorama.xml"));
    const QString sound = QString::fromStdString(work->file("sample/sound"));
    window->chooseXmlFile = [xml] { return xml; };
    window->chooseAudioDirectory = [sound] { return sound; };
    child<QAction>("actionOpen_XML")->trigger();
    QVERIFY(view->waitUntilSettled(kTimeout, 1));
    child<QAction>("actionOpen_Audio_Data")->trigger();
    QVERIFY(view->waitUntilSettled(kTimeout));
    const int frames = view->frames();
    child<QSlider>("horizontalSlider_Trans")->setValue(50);
    QVERIFY(view->waitUntilSettled(kTimeout, frames + 1));
  }

  void cleanupTestCase() {
    if (window) window->deleteListener();
    controller.reset();
    window.reset();
    work.reset();
  }

  void pointerOverTheCanvasShowsDirectionAndValue() {
    auto* canvas = child<QGraphicsView>("canvas");
    const QString cameraLine = child<QLabel>("statusLabel")->text();
    QVERIFY(cameraLine.startsWith("Focallength: "));
    for (const QPoint at : {QPoint(100, 80), QPoint(canvas->viewport()->width() / 2, 240),
                            QPoint(600, 400), QPoint(37, 411)}) {
      const QPointF scene = canvas->mapToScene(at);
      const QString expected = QString::fromStdString(pointerText(controller->readPointer(
          static_cast<int>(std::floor(scene.x())), static_cast<int>(std::floor(scene.y())))));
      QVERIFY2(expected.contains(", Wert 0."), qPrintable(expected));

      QElapsedTimer clock;
      clock.start();
      QCursor::setPos(canvas->viewport()->mapToGlobal(at));
      QTRY_COMPARE_WITH_TIMEOUT(window->pointerLine()->text(), expected, 10000);
      std::printf("pointer line after %lld ms: %s\n", static_cast<long long>(clock.elapsed()),
                  qPrintable(expected));
      // The camera line stays the camera's.
      QCOMPARE(child<QLabel>("statusLabel")->text(), cameraLine);
    }
    // Off the window the line is cleared.
    QCursor::setPos(window->mapToGlobal(QPoint(window->width() + 50, 10)));
    QTRY_COMPARE_WITH_TIMEOUT(window->pointerLine()->text(), QString(), 10000);
  }
};

QTEST_MAIN(PointerXTest)
#include "PointerXTest.moc"
