// The real window with the real controller on a small sample panorama: the
// File menu opens the panorama and its sound data, the transparency slider
// blends the sound layer in, a malformed description is refused with the
// error dialog, and closing the window closes the controller once.
#include <QAction>
#include <QApplication>
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

#include "SampleSound.h"
#include "SampleWriter.h"
#include "SettledView.h"
#include "base/Logger.h"
#include "controller/PanController.h"
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
