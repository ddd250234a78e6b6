// The window's actions reaching the listener, its size and close handling,
// and the gui operations called from a worker thread.
#include <QAction>
#include <QErrorMessage>
#include <QGraphicsView>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTextBrowser>
#include <QtTest>

#include <memory>
#include <thread>

#include "Graphicsscene.h"
#include "RecordingListener.h"
#include "viewer.h"

using Calls = std::vector<std::string>;

class WindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<viewer> window;
  RecordingListener listener;

  template <typename T>
  T* child(const char* name) const {
    return window->findChild<T*>(name);
  }

 private slots:
  void init() {
    listener.calls.clear();
    window = std::make_unique<viewer>();
    window->setListener(&listener);
  }
  void cleanup() { window.reset(); }

  void chosenFileOpensPanoramaAndCancelKeepsLabel() {
    QString answer = "/data/pano/scene.xml";
    window->chooseXmlFile = [&answer] { return answer; };
    child<QAction>("actionOpen_XML")->trigger();
    QCOMPARE(listener.calls, Calls({"openPanorama /data/pano/scene.xml"}));
    QCOMPARE(child<QLabel>("label_xml")->text(), answer);

    answer.clear();  // cancelled
    child<QAction>("actionOpen_XML")->trigger();
    QCOMPARE(listener.calls.size(), size_t(1));
    QCOMPARE(child<QLabel>("label_xml")->text(), QString("/data/pano/scene.xml"));
  }

  void chosenDirectoryOpensSoundDataAndCancelClearsLabel() {
    QString answer = QString::fromUtf8("/data/kl\xc3\xa4nge");
    window->chooseAudioDirectory = [&answer] { return answer; };
    child<QAction>("actionOpen_Audio_Data")->trigger();
    QCOMPARE(listener.calls, Calls({"openSoundData /data/kl\xc3\xa4nge"}));  // UTF-8 path
    QVERIFY(window->audioChosen);

    answer.clear();
    child<QAction>("actionOpen_Audio_Data")->trigger();
    QCOMPARE(listener.calls.size(), size_t(1));
    QCOMPARE(child<QLabel>("label_audio")->text(), QString());
  }

  void slidersPassEveryValueOn() {
    child<QSlider>("horizontalSlider_Trans")->setValue(100);
    child<QSlider>("horizontalSlider_Repr")->setValue(7);
    QCOMPARE(listener.calls, Calls({"setTransValue 100", "setRepValue 7"}));
  }

  void startButtonDoesNothing() {
    QTest::mouseClick(child<QPushButton>("pushButton_start"), Qt::LeftButton);
    QVERIFY(listener.calls.empty());
  }

  void actionsWithoutListenerAreSafe() {
    window->deleteListener();
    window->chooseXmlFile = [] { return QString("/x.xml"); };
    child<QAction>("actionOpen_XML")->trigger();
    child<QSlider>("horizontalSlider_Trans")->setValue(5);
    QCOMPARE(child<QLabel>("label_xml")->text(), QString("/x.xml"));
    QVERIFY(listener.calls.empty());
  }

  void resizeWhileHiddenReportsNothing() {
    window->resize(800, 600);
    QResizeEvent event(QSize(800, 600), QSize(1090, 697));
    QCoreApplication::sendEvent(window.get(), &event);
    QVERIFY(listener.calls.empty());
  }

  void resizeWhileVisibleReportsPlacedCanvas() {
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    listener.calls.clear();
    window->resize(900, 640);
    QTRY_VERIFY(!listener.calls.empty());
    auto* canvas = child<QGraphicsView>("canvas");
    const std::string expected = "canvasSizeChanged " + std::to_string(canvas->width()) + " " +
                                 std::to_string(canvas->height());
    QCOMPARE(listener.last(), expected);
    QVERIFY(canvas->width() < 900 && canvas->width() > 300);  // placed by the layout
    QCOMPARE(window->getCanvasWidth(), canvas->width());
    QCOMPARE(window->getCanvasHeight(), canvas->height());

    int workerWidth = 0, workerHeight = 0, workerTrans = 0;
    std::thread([&] {
      workerWidth = window->getCanvasWidth();
      workerHeight = window->getCanvasHeight();
      workerTrans = window->getTransMaximum();
    }).join();
    QCOMPARE(workerWidth, canvas->width());
    QCOMPARE(workerHeight, canvas->height());
    QCOMPARE(workerTrans, 100);
  }

  void closeReachesListenerOnlyOnce() {
    window->show();
    QVERIFY(window->close());
    window->show();
    QVERIFY(window->close());
    window.reset();  // destroying the window does not close again
    QCOMPARE(listener.calls, Calls({"close"}));
  }

  void destroyingAnOpenWindowDoesNotClose() {
    window->show();
    window.reset();
    QVERIFY(listener.calls.empty());
  }

  // The worker is joined before the GUI thread handles any event: a
  // blocking hand-over would dead-lock here.
  void widgetChangesFromWorkerArriveWithoutBlockingIt() {
    std::thread([this] {
      window->setStatusText("Azimut 12\xb0");  // Latin-1 degree sign
      window->setInfoText("Objektiv: Testlinse");
      window->setRepMaximum(4);
      window->setSoundControlsEnabled(true);
    }).join();
    QCOMPARE(child<QLabel>("statusLabel")->text(), QString());  // not yet: queued

    QTRY_COMPARE(child<QLabel>("statusLabel")->text(), QString::fromUtf8("Azimut 12\xc2\xb0"));
    QCOMPARE(child<QTextBrowser>("infoBox")->toPlainText(), QString("Objektiv: Testlinse"));
    QCOMPARE(child<QSlider>("horizontalSlider_Repr")->maximum(), 4);
    QVERIFY(child<QSlider>("horizontalSlider_Trans")->isEnabled());
    QVERIFY(child<QSlider>("horizontalSlider_Repr")->isEnabled());
  }

  // Texts from files arrive as UTF-8, the controller's own as Latin-1: both
  // read right.
  void statusAndInfoTextsReadUtf8AndLatin1() {
    window->setInfoText("360\xc2\xb0-Foto: 8000 \xc3\x97 4000 Pixel");
    QCOMPARE(child<QTextBrowser>("infoBox")->toPlainText(),
             QString::fromUtf8("360\xc2\xb0-Foto: 8000 \xc3\x97 4000 Pixel"));
    window->setStatusText("\xd6" "ffnen abgebrochen");
    QCOMPARE(child<QLabel>("statusLabel")->text(), QString::fromUtf8("\xc3\x96" "ffnen abgebrochen"));
    window->setStatusText("Sound: L\xc3\xbc" "fter Halle 2");
    QCOMPARE(child<QLabel>("statusLabel")->text(), QString::fromUtf8("Sound: L\xc3\xbc" "fter Halle 2"));
  }

  void soundControlsGoOffTogether() {
    window->setSoundControlsEnabled(true);
    window->setSoundControlsEnabled(false);
    QVERIFY(!child<QSlider>("horizontalSlider_Trans")->isEnabled());
    QVERIFY(!child<QSlider>("horizontalSlider_Repr")->isEnabled());
  }

  void errorMessageIsModalAndGoesAwayWhenClosed() {
    window->show();
    std::thread([this] { window->showErrorMessage("Datei nicht gefunden"); }).join();
    QErrorMessage* dialog = nullptr;
    QTRY_VERIFY((dialog = window->findChild<QErrorMessage*>()) != nullptr);
    QVERIFY(dialog->isModal());
    QTRY_VERIFY(dialog->isVisible());
    QPointer<QErrorMessage> watch(dialog);
    dialog->close();
    QTRY_VERIFY(watch.isNull());
  }
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
