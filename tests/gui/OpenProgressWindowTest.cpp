// The window while a panorama opens in the background, with the real
// controller on the small sample: the status bar shows "Fotos n / N" and
// "Abbrechen", the window keeps handling events, and the button or Escape
// cancels the open with the open panorama kept and no error dialog.
#include <QAction>
#include <QApplication>
#include <QErrorMessage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "OpenProgressBar.h"
#include "OpenRequest.h"
#include "SampleWriter.h"
#include "SettledView.h"
#include "StartController.h"
#include "controller/PanController.h"
#include "panorama/PicManager.h"
#include "support/TempDir.h"
#include "viewer.h"

namespace {

constexpr auto kTimeout = std::chrono::seconds(60);

// The window with a hold in the decode thread: the thread that reports
// `holdAt` previews waits (after the report has been queued to the GUI
// thread) until the test releases it.
class HoldingViewer : public viewer {
 public:
  void showOpenProgress(int done, int total) override {
    viewer::showOpenProgress(done, total);
    std::unique_lock<std::mutex> lock(mutex_);
    if (done != holdAt_) return;
    held_ = true;
    changed_.wait(lock, [&] { return released_; });
  }
  void holdAt(int done) {
    std::lock_guard<std::mutex> lock(mutex_);
    holdAt_ = done;
    held_ = false;
    released_ = false;
  }
  bool held() {
    std::lock_guard<std::mutex> lock(mutex_);
    return held_;
  }
  void release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int holdAt_ = -1;
  bool held_ = false;
  bool released_ = true;
};

bool errorDialogShown() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (qobject_cast<QErrorMessage*>(widget) != nullptr && widget->isVisible()) return true;
  }
  return false;
}

}  // namespace

class OpenProgressWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TempDir> work;
  std::unique_ptr<HoldingViewer> window;
  std::unique_ptr<PanController> controller;
  SettledView* view = nullptr;  // owned by the window
  QString sample;

  template <typename T>
  T* child(const char* name) const {
    return window->findChild<T*>(name);
  }
  void open(const QString& path) {
    window->chooseXmlFile = [path] { return path; };
    child<QAction>("actionOpen_XML")->trigger();
  }

 private slots:
  void initTestCase() {
    work = std::make_unique<TempDir>();
    std::string error;
    QVERIFY2(writeSmallSample(work->file("sample"), &error), error.c_str());
    sample = QString::fromStdString(work->file("sample/panorama.xml"));
    window = std::make_unique<HoldingViewer>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    controller = startController(*window);
    view = new SettledView(window.get(), controller.get());
    QVERIFY(view->waitUntilSettled(kTimeout));
  }

  void cleanupTestCase() {
    if (window) {
      window->release();
      window->close();
      window->deleteListener();
    }
    controller.reset();
    window.reset();
    work.reset();
  }

  void progressIsHiddenUntilAnOpenRuns() {
    QVERIFY(child<OpenProgressBar>("openProgress")->isHidden());
    open(sample);
    QVERIFY(view->waitUntilSettled(kTimeout, 1));
    QVERIFY(controller->panorama() != nullptr);
    QVERIFY(child<OpenProgressBar>("openProgress")->isHidden());
    QVERIFY(child<QAction>("actionOpen_XML")->isEnabled());
  }

  void cancelKeepsTheOpenPanorama_data() {
    QTest::addColumn<bool>("escape");
    QTest::newRow("Abbrechen") << false;
    QTest::newRow("Escape") << true;
  }

  void cancelKeepsTheOpenPanorama() {
    QFETCH(bool, escape);
    const PicManager* before = controller->panorama();
    QVERIFY(before != nullptr);
    const int photographs = before->pictureCount;
    auto* progress = child<OpenProgressBar>("openProgress");

    // As from the command line, with a sound directory to follow. Held at
    // the first report, before any photograph is read.
    window->holdAt(0);
    window->openFiles({sample, QString::fromStdString(work->file("sample/sound"))});
    QTRY_VERIFY_WITH_TIMEOUT(window->held(), 60000);
    // The GUI thread goes on: the count arrives and is shown.
    QTRY_VERIFY(!progress->isHidden());
    QCOMPARE(progress->text(), QString("Fotos 0 / %1").arg(photographs));
    QCOMPARE(child<QPushButton>("cancelOpen")->text(), QString("Abbrechen"));
    QVERIFY(!child<QAction>("actionOpen_XML")->isEnabled());
    QVERIFY(controller->opening());

    if (escape) {
      window->activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(window.get()));
      QTest::keyClick(window->findChild<QWidget*>("canvas"), Qt::Key_Escape);
    } else {
      QTest::mouseClick(child<QPushButton>("cancelOpen"), Qt::LeftButton);
    }
    QVERIFY(!child<QPushButton>("cancelOpen")->isEnabled());
    window->release();
    // Shown once the end has been applied (it lasts a few seconds).
    QTRY_COMPARE_WITH_TIMEOUT(window->statusBar()->currentMessage(),
                              QString::fromUtf8("Öffnen abgebrochen"), 60000);
    QVERIFY(view->waitUntilSettled(kTimeout));

    QVERIFY(!controller->opening());
    QVERIFY(progress->isHidden());
    QCOMPARE(controller->panorama(), before);
    QVERIFY2(!controller->soundLoaded(), "the cancelled request's sound directory stays closed");
    QVERIFY(!errorDialogShown());
    QVERIFY(child<QAction>("actionOpen_XML")->isEnabled());
    QVERIFY(child<QPushButton>("cancelOpen")->isEnabled());
  }
};

QTEST_MAIN(OpenProgressWindowTest)
#include "OpenProgressWindowTest.moc"
