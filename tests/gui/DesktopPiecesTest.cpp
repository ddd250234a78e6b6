// The desktop pieces on their own: the command line, what a drop opens, the
// recent list and its menu, the remembered settings, the view's keys and
// the stop signals.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include "CommandLine.h"
#include "OpenRequest.h"
#include "RecentFiles.h"
#include "RecordingListener.h"
#include "SignalWatcher.h"
#include "ViewKeys.h"
#include "ViewerSettings.h"

using Calls = std::vector<std::string>;

namespace {

void touch(const QString& path) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
}

// The texts of a menu's entries, separators as "-", disabled ones in [].
QStringList entries(QMenu* menu) {
  QStringList texts;
  for (QAction* action : menu->actions()) {
    if (action->isSeparator()) {
      texts << "-";
    } else {
      texts << (action->isEnabled() ? action->text() : "[" + action->text() + "]");
    }
  }
  return texts;
}

}  // namespace

class DesktopPiecesTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir files;
  QString file(const QString& name) const { return files.filePath(name); }

 private slots:
  void initTestCase() {
    QVERIFY(files.isValid());
    QVERIFY(QDir(files.path()).mkdir("sound"));
    for (const char* name : {"a.xml", "b.pto", "c.JPG", "d.jpeg", "e.txt", "f.xml"}) {
      touch(file(name));
    }
  }

  void commandLineNamesAndOptions_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("panorama");
    QTest::addColumn<QString>("sound");
    QTest::addColumn<bool>("help");
    QTest::addColumn<bool>("version");
    QTest::addColumn<QString>("error");
    const QString sound = file("sound");
    QTest::newRow("nothing") << QStringList{} << "" << "" << false << false << "";
    QTest::newRow("panorama") << QStringList{"p.xml"} << "p.xml" << "" << false << false << "";
    QTest::newRow("both") << QStringList{"p.pto", "s"} << "p.pto" << "s" << false << false << "";
    QTest::newRow("a directory alone is sound") << QStringList{sound} << "" << sound << false
                                                << false << "";
    QTest::newRow("help") << QStringList{"--help"} << "" << "" << true << false << "";
    QTest::newRow("short help") << QStringList{"-h"} << "" << "" << true << false << "";
    QTest::newRow("version") << QStringList{"--version"} << "" << "" << false << true << "";
    QTest::newRow("help wins over an unknown option")
        << QStringList{"--bogus", "--help"} << "" << "" << true << false << "";
    QTest::newRow("unknown option") << QStringList{"p.xml", "--bogus"} << "" << "" << false
                                    << false << "unknown option --bogus";
    QTest::newRow("unknown short option") << QStringList{"-x"} << "" << "" << false << false
                                          << "unknown option -x";
    QTest::newRow("names after --") << QStringList{"--", "--help", "-s"} << "--help" << "-s"
                                    << false << false << "";
    QTest::newRow("too many") << QStringList{"a", "b", "c"} << "" << "" << false << false
                              << "too many arguments (3): give a panorama and a sound directory "
                                 "at most";
  }

  void commandLineNamesAndOptions() {
    QFETCH(QStringList, arguments);
    const CommandLine line = parseCommandLine(arguments);
    QTEST(line.panorama, "panorama");
    QTEST(line.soundDirectory, "sound");
    QTEST(line.help, "help");
    QTEST(line.version, "version");
    QTEST(line.error, "error");
  }

  void droppedPathsOpenOnePanoramaAndOneDirectory_data() {
    QTest::addColumn<QStringList>("dropped");
    QTest::addColumn<QString>("panorama");
    QTest::addColumn<QString>("sound");
    QTest::newRow("description") << QStringList{file("a.xml")} << file("a.xml") << "";
    QTest::newRow("project") << QStringList{file("b.pto")} << file("b.pto") << "";
    QTest::newRow("photograph, capitals") << QStringList{file("c.JPG")} << file("c.JPG") << "";
    QTest::newRow("jpeg") << QStringList{file("d.jpeg")} << file("d.jpeg") << "";
    QTest::newRow("directory") << QStringList{file("sound")} << "" << file("sound");
    QTest::newRow("both, first of each")
        << QStringList{file("e.txt"), file("sound"), file("f.xml"), file("a.xml")}
        << file("f.xml") << file("sound");
    QTest::newRow("other kinds only") << QStringList{file("e.txt")} << "" << "";
  }

  void droppedPathsOpenOnePanoramaAndOneDirectory() {
    QFETCH(QStringList, dropped);
    const OpenRequest request = openRequestForPaths(dropped);
    QTEST(request.panorama, "panorama");
    QTEST(request.soundDirectory, "sound");
    QList<QUrl> urls;
    for (const QString& path : dropped) urls << QUrl::fromLocalFile(path);
    urls << QUrl("https://example.org/x.xml");  // not a local file: ignored
    QCOMPARE(openRequestForUrls(urls).panorama, request.panorama);
  }

  void recentListPutsTheNewestFirstWithoutDuplicatesAndKeepsFive() {
    struct Step {
      const char* opened;
      QStringList expected;
    };
    QDir::setCurrent(files.path());
    const QString d = files.path() + "/";
    const Step steps[] = {
        {"1.xml", {d + "1.xml"}},
        {"2.xml", {d + "2.xml", d + "1.xml"}},
        {"1.xml", {d + "1.xml", d + "2.xml"}},          // again: moves to the front
        {"./sound/../2.xml", {d + "2.xml", d + "1.xml"}},  // the same file, another name
        {"3.xml", {d + "3.xml", d + "2.xml", d + "1.xml"}},
        {"4.xml", {d + "4.xml", d + "3.xml", d + "2.xml", d + "1.xml"}},
        {"5.xml", {d + "5.xml", d + "4.xml", d + "3.xml", d + "2.xml", d + "1.xml"}},
        {"6.xml", {d + "6.xml", d + "5.xml", d + "4.xml", d + "3.xml", d + "2.xml"}},
        {"", {d + "6.xml", d + "5.xml", d + "4.xml", d + "3.xml", d + "2.xml"}},
    };
    QStringList list;
    for (const Step& step : steps) {
      list = withRecentFile(list, step.opened);
      QCOMPARE(list, step.expected);
    }
    QCOMPARE(withRecentFile(list, "7.xml", 2), QStringList({d + "7.xml", d + "6.xml"}));
    QCOMPARE(withRecentFile(list, "7.xml", 0), QStringList());
  }

  void recentMenuListsDisablesMissingFilesAndEmpties() {
    ViewerSettings settings;
    settings.setRecentPanoramas({});
    QMenu menu;
    RecentFiles recent(&menu, &settings);
    QVERIFY(!menu.menuAction()->isEnabled());  // nothing to list yet

    recent.add(file("a.xml"));
    recent.add(file("gone.xml"));
    recent.add(file("b&c.pto"));  // missing as well; the ampersand is shown
    recent.add(file("a.xml"));
    QVERIFY(menu.menuAction()->isEnabled());
    QCOMPARE(entries(&menu),
             QStringList({"&1 " + file("a.xml"),
                          "[&2 " + QString(file("b&c.pto")).replace("&", "&&") +
                              " (nicht gefunden)]",
                          "[&3 " + file("gone.xml") + " (nicht gefunden)]", "-", "Liste leeren"}));
    // A new file under a listed name shows enabled when the menu opens next.
    touch(file("gone.xml"));
    emit menu.aboutToShow();
    QCOMPARE(entries(&menu)[2], "&3 " + file("gone.xml"));

    // The list is stored: another menu on the same settings shows it.
    QMenu other;
    RecentFiles again(&other, &settings);
    QCOMPARE(again.paths(), recent.paths());

    QSignalSpy chosen(&recent, &RecentFiles::chosen);
    menu.actions()[0]->trigger();
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen[0][0].toString(), file("a.xml"));

    menu.actions().last()->trigger();  // "Liste leeren"
    QCOMPARE(recent.paths(), QStringList());
    QCOMPARE(settings.recentPanoramas(), QStringList());
    QVERIFY(!menu.menuAction()->isEnabled());
    QFile::remove(file("gone.xml"));
  }

  void recentMenuReadsAnEditedListCleanly() {
    ViewerSettings settings;
    settings.setRecentPanoramas({file("a.xml"), file("a.xml"), file("1"), file("2"), file("3"),
                                 file("4"), file("5")});
    QMenu menu;
    RecentFiles recent(&menu, &settings);
    QCOMPARE(recent.paths(),
             QStringList({file("a.xml"), file("1"), file("2"), file("3"), file("4")}));
  }

  void settingsRememberAnExistingFolderElseHome() {
    ViewerSettings settings;
    settings.rememberDirectory(files.path() + "/sound");
    QCOMPARE(settings.lastDirectory(), files.path() + "/sound");
    settings.rememberDirectory(files.path() + "/nowhere");
    QCOMPARE(settings.lastDirectory(), QDir::homePath());
    settings.rememberDirectory(QString());  // nothing to remember: kept
    QCOMPARE(settings.lastDirectory(), QDir::homePath());

    settings.setDragToTurn(true);
    QVERIFY(ViewerSettings().dragToTurn());
    settings.setDragToTurn(false);
    QVERIFY(!ViewerSettings().dragToTurn());
    // Stored in the test's own place, never in the user's.
    QVERIFY(QSettings().fileName().startsWith(QDir::tempPath()));
  }

  void viewKeysTurnZoomAndReturn_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("call");  // empty: no view key
    QTest::newRow("left") << int(Qt::Key_Left) << 0 << "turnBy 2 0";
    QTest::newRow("right") << int(Qt::Key_Right) << 0 << "turnBy -2 0";
    QTest::newRow("up") << int(Qt::Key_Up) << 0 << "turnBy 0 2";
    QTest::newRow("down") << int(Qt::Key_Down) << 0 << "turnBy 0 -2";
    QTest::newRow("shift left") << int(Qt::Key_Left) << int(Qt::ShiftModifier) << "turnBy 10 0";
    QTest::newRow("shift down") << int(Qt::Key_Down) << int(Qt::ShiftModifier) << "turnBy 0 -10";
    QTest::newRow("keypad up") << int(Qt::Key_Up) << int(Qt::KeypadModifier) << "turnBy 0 2";
    QTest::newRow("plus") << int(Qt::Key_Plus) << 0 << "mouseScrolled 1";
    QTest::newRow("shifted plus") << int(Qt::Key_Plus) << int(Qt::ShiftModifier)
                                  << "mouseScrolled 1";
    QTest::newRow("equals") << int(Qt::Key_Equal) << 0 << "mouseScrolled 1";
    QTest::newRow("minus") << int(Qt::Key_Minus) << 0 << "mouseScrolled -1";
    QTest::newRow("keypad minus") << int(Qt::Key_Minus) << int(Qt::KeypadModifier)
                                  << "mouseScrolled -1";
    QTest::newRow("home") << int(Qt::Key_Home) << 0 << "resetCamera";
    QTest::newRow("ctrl left") << int(Qt::Key_Left) << int(Qt::ControlModifier) << "";
    QTest::newRow("alt home") << int(Qt::Key_Home) << int(Qt::AltModifier) << "";
    QTest::newRow("letter") << int(Qt::Key_A) << 0 << "";
  }

  void viewKeysTurnZoomAndReturn() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, call);
    RecordingListener listener;
    const bool viewKey = applyViewKey(key, Qt::KeyboardModifiers(modifiers), &listener);
    QCOMPARE(viewKey, !call.isEmpty());
    QCOMPARE(QString::fromStdString(listener.last()), call);
    QCOMPARE(applyViewKey(key, Qt::KeyboardModifiers(modifiers), nullptr), viewKey);
  }

  void stopSignalsArriveInTheEventLoop() {
    SignalWatcher watcher;
    QVERIFY(watcher.isWatching());
    SignalWatcher second;  // one at a time
    QVERIFY(!second.isWatching());
    QSignalSpy received(&watcher, &SignalWatcher::received);
    for (int number : {SIGTERM, SIGINT}) {
      std::raise(number);
      QVERIFY(received.wait(5000));
      QCOMPARE(received.takeLast()[0].toInt(), number);
    }
  }
};

QTEST_MAIN(DesktopPiecesTest)
#include "DesktopPiecesTest.moc"
