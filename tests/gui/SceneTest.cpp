// The canvas scene's drag and wheel arithmetic, with hand-made scene events
// and with a wheel turned on the real canvas.
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsSceneWheelEvent>
#include <QGraphicsView>
#include <QSignalSpy>
#include <QWheelEvent>
#include <QtTest>

#include "Graphicsscene.h"
#include "RecordingListener.h"
#include "viewer.h"

using Calls = std::vector<std::string>;

namespace {

void press(Graphicsscene& scene, QPointF at, Qt::MouseButton button = Qt::LeftButton) {
  QGraphicsSceneMouseEvent event(QEvent::GraphicsSceneMousePress);
  event.setButton(button);
  event.setButtons(button);
  event.setButtonDownScenePos(button, at);
  event.setScenePos(at);
  event.setLastScenePos(at);
  QCoreApplication::sendEvent(&scene, &event);
}

// A move whose previous pointer position was `previous`; the current
// position is elsewhere on purpose, it must not count.
void move(Graphicsscene& scene, QPointF previous) {
  QGraphicsSceneMouseEvent event(QEvent::GraphicsSceneMouseMove);
  event.setButtons(Qt::LeftButton);
  event.setLastScenePos(previous);
  event.setScenePos(previous + QPointF(333, 333));
  QCoreApplication::sendEvent(&scene, &event);
}

void release(Graphicsscene& scene) {
  QGraphicsSceneMouseEvent event(QEvent::GraphicsSceneMouseRelease);
  event.setButton(Qt::LeftButton);
  QCoreApplication::sendEvent(&scene, &event);
}

void wheel(Graphicsscene& scene, int delta) {
  QGraphicsSceneWheelEvent event(QEvent::GraphicsSceneWheel);
  event.setDelta(delta);
  event.setOrientation(Qt::Vertical);
  QCoreApplication::sendEvent(&scene, &event);
}

}  // namespace

class SceneTest : public QObject {
  Q_OBJECT

 private slots:
  void dragReportsPressPointMinusPreviousPosition_data() {
    QTest::addColumn<QPointF>("previous");
    QTest::addColumn<QString>("expected");
    // press at (100.9, 50.2) gives the press point (100, 50)
    QTest::newRow("left of press") << QPointF(80.5, 50.0) << "mouseDraged 19 0";
    QTest::newRow("right of press") << QPointF(120.25, 50.0) << "mouseDraged -20 0";
    QTest::newRow("below press") << QPointF(100.0, 75.9) << "mouseDraged 0 -25";
    QTest::newRow("above press") << QPointF(100.0, 10.1) << "mouseDraged 0 39";
    QTest::newRow("back at press") << QPointF(100.9, 50.2) << "mouseDraged 0 0";
    QTest::newRow("negative scene") << QPointF(-10.7, -0.5) << "mouseDraged 110 50";
  }

  void dragReportsPressPointMinusPreviousPosition() {
    QFETCH(QPointF, previous);
    QFETCH(QString, expected);
    RecordingListener listener;
    Graphicsscene scene;
    scene.setListener(&listener);
    press(scene, QPointF(100.9, 50.2));
    QCOMPARE(scene.pressX, 100);
    QCOMPARE(scene.pressY, 50);
    move(scene, previous);
    QCOMPARE(listener.calls, Calls({expected.toStdString()}));
  }

  void moveWithoutButtonAnnouncesThePointerOnly() {
    RecordingListener listener;
    Graphicsscene scene;
    scene.setListener(&listener);
    QSignalSpy spy(&scene, &Graphicsscene::pointerMoved);
    QGraphicsSceneMouseEvent event(QEvent::GraphicsSceneMouseMove);
    event.setButtons(Qt::NoButton);
    event.setScenePos(QPointF(12.5, 7.25));
    QCoreApplication::sendEvent(&scene, &event);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toPointF(), QPointF(12.5, 7.25));
    QVERIFY(listener.calls.empty());
    move(scene, QPointF(5, 5));  // a button held: no announcement
    QCOMPARE(spy.count(), 1);
  }

  void pressAtNegativePositionTruncatesTowardZero() {
    Graphicsscene scene;
    press(scene, QPointF(-3.7, -0.2));
    QCOMPARE(scene.pressX, -3);
    QCOMPARE(scene.pressY, 0);
  }

  void moveOutsideADragSendsNothing() {
    RecordingListener listener;
    Graphicsscene scene;
    scene.setListener(&listener);
    move(scene, QPointF(5, 5));  // no press yet
    QVERIFY(listener.calls.empty());

    press(scene, QPointF(10, 10));
    release(scene);
    move(scene, QPointF(5, 5));  // after the release
    QCOMPARE(listener.calls, Calls({"mouseReleased"}));
  }

  void rightButtonDragsFromItsOwnPressPoint() {
    RecordingListener listener;
    Graphicsscene scene;
    scene.setListener(&listener);
    press(scene, QPointF(200.6, 120.4), Qt::RightButton);
    QVERIFY(scene.dragging);
    move(scene, QPointF(190.0, 130.0));
    QCOMPARE(listener.calls, Calls({"mouseDraged 10 -10"}));
  }

  void wheelGivesOneStepPerEvent_data() {
    QTest::addColumn<int>("delta");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << 0 << "mouseScrolled 1";
    QTest::newRow("forward") << 120 << "mouseScrolled 1";
    QTest::newRow("fine forward") << 15 << "mouseScrolled 1";
    QTest::newRow("backward") << -120 << "mouseScrolled -1";
    QTest::newRow("fine backward") << -1 << "mouseScrolled -1";
  }

  void wheelGivesOneStepPerEvent() {
    QFETCH(int, delta);
    QFETCH(QString, expected);
    RecordingListener listener;
    Graphicsscene scene;
    scene.setListener(&listener);
    wheel(scene, delta);
    QCOMPARE(listener.calls, Calls({expected.toStdString()}));
  }

  void withoutListenerNothingIsSent() {
    RecordingListener listener;
    Graphicsscene scene;
    press(scene, QPointF(1, 1));
    move(scene, QPointF(50, 50));
    wheel(scene, 120);
    release(scene);
    QVERIFY(!scene.dragging);
    scene.setListener(&listener);
    move(scene, QPointF(50, 50));  // the drag ended with the release
    QVERIFY(listener.calls.empty());
  }

  // Through the real canvas: the view turns the wheel's angle delta into the
  // scene event's delta.
  void wheelOnCanvasReachesListener() {
    RecordingListener listener;
    viewer window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.canvasScene()->setListener(&listener);
    window.drawImage(cv::Mat(20, 20, CV_8UC3, cv::Scalar(1, 2, 3)));  // attaches the scene
    auto* canvas = window.findChild<QGraphicsView*>("canvas");
    QCOMPARE(canvas->scene(), window.canvasScene());

    const QPointF at(10, 10);
    for (int dy : {-120, 120}) {
      QWheelEvent event(at, canvas->viewport()->mapToGlobal(at), QPoint(), QPoint(0, dy),
                        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
      QCoreApplication::sendEvent(canvas->viewport(), &event);
    }
    QCOMPARE(listener.calls, Calls({"mouseScrolled -1", "mouseScrolled 1"}));
  }
};

QTEST_MAIN(SceneTest)
#include "SceneTest.moc"
