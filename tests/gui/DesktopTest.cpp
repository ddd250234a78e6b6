// The window as a desktop program, with a recording listener: menus and
// their shortcuts, opening from the command line and by drops (the sound
// directory after the panorama's open has ended), the recent list, the
// dialogs' start folder and filters, the view's keys, "Ziehen" and the
// About box.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <thread>

#include "Graphicsscene.h"
#include "OpenRequest.h"
#include "RecentFiles.h"
#include "RecordingListener.h"
#include "ViewerSettings.h"
#include "base/Version.h"
#include "viewer.h"

using Calls = std::vector<std::string>;

namespace {

// Sends a drag entering the window and, when it is accepted, the drop of
// `paths`; returns whether the drag was accepted.
bool drop(QWidget* window, const QStringList& paths) {
  QMimeData data;
  QList<QUrl> urls;
  for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
  data.setUrls(urls);
  const QPoint at(50, 50);
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(window, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(window, &dropped);
  return dropped.isAccepted();
}

void sceneMouse(Graphicsscene* scene, QEvent::Type type, QPointF at) {
  QGraphicsSceneMouseEvent event(type);
  event.setButton(type == QEvent::GraphicsSceneMouseMove ? Qt::NoButton : Qt::LeftButton);
  event.setButtons(type == QEvent::GraphicsSceneMouseRelease ? Qt::NoButton : Qt::LeftButton);
  event.setButtonDownScenePos(Qt::LeftButton, at);
  event.setScenePos(at);
  event.setLastScenePos(at - QPointF(3, 4));
  QCoreApplication::sendEvent(scene, &event);
}

// Runs `inspect` on the first modal dialog of type T as soon as it shows,
// then closes it; `trigger` opens it.
template <typename T, typename Inspect>
void whileDialogShows(const std::function<void()>& trigger, Inspect inspect) {
  bool seen = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<T*>(widget);
      if (dialog == nullptr || !dialog->isVisible() || seen) continue;
      seen = true;
      inspect(dialog);
      dialog->reject();
    }
  });
  poll.start(10);
  trigger();
  QVERIFY(seen);
}

}  // namespace

class DesktopTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir files;
  std::unique_ptr<viewer> window;
  RecordingListener listener;

  template <typename T>
  T* child(const char* name) const {
    return window->findChild<T*>(name);
  }
  QString file(const QString& name) const { return files.filePath(name); }

 private slots:
  void initTestCase() {
    QVERIFY(QDir(files.path()).mkdir("sound"));
    for (const char* name : {"a.xml", "b.pto", "notes.txt"}) {
      QFile out(file(name));
      QVERIFY(out.open(QIODevice::WriteOnly));
    }
  }

  void init() {
    QSettings().clear();  // every case starts without remembered choices
    listener.calls.clear();
    window = std::make_unique<viewer>();
    window->setListener(&listener);
    window->canvasScene()->setListener(&listener);
  }
  void cleanup() { window.reset(); }

  void menusOfADesktopProgram() {
    QStringList titles;
    for (QAction* menu : window->menuBar()->actions()) titles << menu->menu()->objectName();
    QCOMPARE(titles, QStringList({"menuFile", "menuAnsicht", "menuHilfe"}));
    QCOMPARE(child<QMenu>("menuAnsicht")->title(), QString("Ansicht"));
    QCOMPARE(child<QMenu>("menuHilfe")->title(), QString("Hilfe"));
    QCOMPARE(child<QMenu>("menuZuletzt")->title(), QString::fromUtf8("Zuletzt geöffnet"));
    QCOMPARE(child<QAction>("actionOpen_XML")->text(), QString("open XML"));
    QCOMPARE(child<QAction>("actionOpen_XML")->shortcut(), QKeySequence("Ctrl+O"));
    QCOMPARE(child<QAction>("actionBeenden")->shortcut(), QKeySequence("Ctrl+Q"));
    QCOMPARE(child<QAction>("actionVollbild")->shortcut(), QKeySequence("F11"));
    QVERIFY(child<QAction>("actionZiehen")->isCheckable());
    QVERIFY(!child<QAction>("actionZiehen")->isChecked());  // the joystick is the default
    QCOMPARE(child<QAction>("actionUeber")->text(), QString::fromUtf8("Über"));
  }

  void quitClosesAsTheCloseButtonDoes() {
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    child<QAction>("actionBeenden")->trigger();
    QVERIFY(!window->isVisible());
    QCOMPARE(listener.calls, Calls({"close"}));
  }

  void shortcutsReachTheirActions() {
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_F11);
    QTRY_VERIFY(window->isFullScreen());
    QVERIFY(child<QAction>("actionVollbild")->isChecked());
    QTest::keyClick(window.get(), Qt::Key_F11);
    QTRY_VERIFY(!window->isFullScreen());
    int asked = 0;
    window->chooseXmlFile = [&asked] { ++asked; return QString(); };
    QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(asked, 1);
    QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
    QTRY_VERIFY(!window->isVisible());
    QCOMPARE(listener.calls, Calls({"close"}));
  }

  void viewKeysOnTheCanvasReachTheListener() {
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    auto* canvas = child<QGraphicsView>("canvas");
    QCOMPARE(QApplication::focusWidget(), canvas);  // keys work from the start
    QTest::keyClick(canvas, Qt::Key_Left);
    QTest::keyClick(canvas, Qt::Key_Up, Qt::ShiftModifier);
    QTest::keyClick(canvas, Qt::Key_Minus);
    QTest::keyClick(canvas, Qt::Key_Home);
    QTest::keyClick(canvas, Qt::Key_Right, Qt::ControlModifier);  // not a view key
    QCOMPARE(listener.calls,
             Calls({"turnBy 2 0", "turnBy 0 10", "mouseScrolled -1", "resetCamera"}));
  }

  void commandLineOpensTheSoundOnceThePanoramaOpenEnded() {
    window->openFiles({file("a.xml"), file("sound")});
    QCOMPARE(listener.calls, Calls({"openPanorama " + file("a.xml").toStdString()}));
    QCOMPARE(child<QLabel>("label_xml")->text(), file("a.xml"));
    // The end comes from another thread, as it will from an opening worker.
    std::thread([this] {
      window->panoramaOpenEnded(file("a.xml").toUtf8().constData(), false);
    }).join();
    QCOMPARE(listener.calls.size(), size_t(1));  // queued to the GUI thread
    QTRY_COMPARE(listener.calls.size(), size_t(2));
    QCOMPARE(listener.last(), "openSoundData " + file("sound").toStdString());
    QCOMPARE(child<QLabel>("label_audio")->text(), file("sound"));
    // Refused: not a recent panorama.
    QCOMPARE(window->recentFiles()->paths(), QStringList());

    // A later end opens nothing more; an opened panorama joins the list.
    window->panoramaOpenEnded(file("a.xml").toUtf8().constData(), true);
    QTRY_COMPARE(window->recentFiles()->paths(), QStringList({file("a.xml")}));
    QCOMPARE(listener.calls.size(), size_t(2));

    // A sound directory alone opens at once.
    window->openFiles({QString(), file("sound")});
    QCOMPARE(listener.calls.size(), size_t(3));
    QCOMPARE(listener.last(), "openSoundData " + file("sound").toStdString());
  }

  void droppedFilesOpenLikeTheCommandLine() {
    QVERIFY(!drop(window.get(), {file("notes.txt")}));
    QVERIFY(listener.calls.empty());

    QVERIFY(drop(window.get(), {file("sound"), file("b.pto")}));
    QCOMPARE(listener.calls, Calls({"openPanorama " + file("b.pto").toStdString()}));
    window->panoramaOpenEnded(file("b.pto").toUtf8().constData(), true);
    QTRY_COMPARE(listener.last(), "openSoundData " + file("sound").toStdString());
    QCOMPARE(window->recentFiles()->paths(), QStringList({file("b.pto")}));
  }

  void recentEntryOpensThePanorama() {
    window->recentFiles()->add(file("a.xml"));
    window->recentFiles()->add(file("b.pto"));
    auto* menu = child<QMenu>("menuZuletzt");
    emit menu->aboutToShow();
    menu->actions()[1]->trigger();
    QCOMPARE(listener.calls, Calls({"openPanorama " + file("a.xml").toStdString()}));
    QCOMPARE(child<QLabel>("label_xml")->text(), file("a.xml"));
    window->panoramaOpenEnded(file("a.xml").toUtf8().constData(), true);
    QTRY_COMPARE(window->recentFiles()->paths(), QStringList({file("a.xml"), file("b.pto")}));
    // A new window lists them as well.
    viewer another;
    QCOMPARE(another.recentFiles()->paths(), QStringList({file("a.xml"), file("b.pto")}));
  }

  void dialogsStartInTheLastFolderWithThePanoramaKinds() {
    QString folder;
    QStringList filters;
    const auto inspect = [&](QFileDialog* dialog) {
      folder = dialog->directory().absolutePath();
      filters = dialog->nameFilters();
    };
    whileDialogShows<QFileDialog>([this] { child<QAction>("actionOpen_XML")->trigger(); },
                                  inspect);
    QCOMPARE(folder, QDir::homePath());  // nothing used yet
    QCOMPARE(filters, QStringList({"Panoramen (*.xml *.pto *.jpg *.jpeg)",
                                   "Panoramabeschreibung (*.xml)", "Stitcher-Projekt (*.pto)",
                                   QString::fromUtf8("360°-Foto (*.jpg *.jpeg)")}));
    QVERIFY(listener.calls.empty());  // cancelled

    window->openPanoramaFile(file("a.xml"));
    whileDialogShows<QFileDialog>(
        [this] { child<QAction>("actionOpen_Audio_Data")->trigger(); }, inspect);
    QCOMPARE(folder, files.path());
    // A sound directory's folder is the one that holds it.
    window->openSoundDirectory(file("sound"));
    QCOMPARE(window->settings().lastDirectory(), files.path());
  }

  void ziehenSwitchesTheMouseAndIsRemembered() {
    auto* scene = window->canvasScene();
    sceneMouse(scene, QEvent::GraphicsSceneMousePress, QPointF(100.5, 50.25));
    sceneMouse(scene, QEvent::GraphicsSceneMouseMove, QPointF(120, 60));
    sceneMouse(scene, QEvent::GraphicsSceneMouseRelease, QPointF(120, 60));
    // The joystick: press point minus the previous pointer position.
    QCOMPARE(listener.calls, Calls({"mouseDraged -17 -6", "mouseReleased"}));

    listener.calls.clear();
    child<QAction>("actionZiehen")->setChecked(true);
    sceneMouse(scene, QEvent::GraphicsSceneMousePress, QPointF(100.5, 50.25));
    sceneMouse(scene, QEvent::GraphicsSceneMouseMove, QPointF(120, 60.75));
    sceneMouse(scene, QEvent::GraphicsSceneMouseRelease, QPointF(120, 60.75));
    QCOMPARE(listener.calls,
             Calls({"grabAt 100.5 50.25", "dragGrabbedTo 120 60.75", "mouseReleased"}));

    // The next window starts with the choice made.
    viewer next;
    QVERIFY(next.findChild<QAction*>("actionZiehen")->isChecked());
    QVERIFY(next.canvasScene()->grabMode);
    next.findChild<QAction*>("actionZiehen")->setChecked(false);
    QVERIFY(!ViewerSettings().dragToTurn());
  }

  void aboutBoxNamesTheVersions() {
    QString text;
    whileDialogShows<QMessageBox>([this] { child<QAction>("actionUeber")->trigger(); },
                                  [&](QMessageBox* box) { text = box->text(); });
    QVERIFY2(text.contains(QString("Version %1").arg(kProgramVersion)), qPrintable(text));
    QVERIFY(text.contains(QString("Qt %1").arg(qVersion())));
    QVERIFY(text.contains("OpenCV "));
  }
};

QTEST_MAIN(DesktopTest)
#include "DesktopTest.moc"
