// panorama-screenshot: opens a panorama and its sound data in the real viewer
// window, sets the sound layer to half transparency and saves a picture of
// the window. Runs on any Qt platform, the offscreen one included.
#include <QAction>
#include <QApplication>
#include <QErrorMessage>
#include <QLabel>
#include <QPixmap>
#include <QSettings>
#include <QSlider>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextEdit>

#include <chrono>
#include <cstdio>
#include <memory>

#include "SettledView.h"
#include "StartController.h"
#include "controller/PanController.h"
#include "viewer.h"

namespace {

constexpr auto kStepTimeout = std::chrono::seconds(120);
constexpr int kHalfTransparency = 50;

const char* const kUsage =
    "Usage: panorama-screenshot PANORAMA.xml SOUND_DIRECTORY OUTPUT.png\n"
    "Opens the panorama and the sound data in the viewer window, moves the\n"
    "transparency slider to 50 and saves a picture of the window as PNG.\n"
    "Without a display, run it with QT_QPA_PLATFORM=offscreen.\n";

// The text of an error dialog the controller has shown, or "" if none is open.
QString shownError() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QErrorMessage*>(widget);
    if (dialog == nullptr || !dialog->isVisible()) continue;
    QStringList texts;
    for (auto* label : dialog->findChildren<QLabel*>()) texts << label->text();
    for (auto* edit : dialog->findChildren<QTextEdit*>()) texts << edit->toPlainText();
    texts.removeAll(QString());
    return texts.join(' ');
  }
  return QString();
}

// Waits for the step's outcome; reports a timeout or an error dialog.
bool settled(SettledView& view, const char* step, int minimumFrames = 0) {
  if (!view.waitUntilSettled(kStepTimeout, minimumFrames)) {
    std::fprintf(stderr, "panorama-screenshot: %s did not finish in time\n", step);
    return false;
  }
  const QString error = shownError();
  if (!error.isEmpty()) {
    std::fprintf(stderr, "panorama-screenshot: %s failed: %s\n", step, qPrintable(error));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  const QStringList arguments = QApplication::arguments();
  if (arguments.size() != 4) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const QString xmlFile = arguments[1];
  const QString soundDirectory = arguments[2];
  const QString output = arguments[3];

  // The window's remembered choices are neither read from nor written to the
  // user's settings: the picture is the same for everyone.
  QTemporaryDir settingsDirectory;
  QCoreApplication::setOrganizationName("panorama-screenshot");
  QCoreApplication::setApplicationName("panorama-screenshot");
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDirectory.path());

  // The window and the controller as the viewer's program entry makes them.
  viewer window;
  window.show();
  auto controller = startController(window);
  SettledView view(&window, controller.get());

  // The user's steps: File menu entries with the dialogs answered, then the
  // transparency slider.
  int status = 1;
  window.chooseXmlFile = [&xmlFile] { return xmlFile; };
  window.chooseAudioDirectory = [&soundDirectory] { return soundDirectory; };
  auto* transparency = window.findChild<QSlider*>("horizontalSlider_Trans");
  if (settled(view, "showing the window")) {
    window.findChild<QAction*>("actionOpen_XML")->trigger();
    if (settled(view, "opening the panorama", 1)) {
      window.findChild<QAction*>("actionOpen_Audio_Data")->trigger();
      if (settled(view, "opening the sound data")) {
        const int framesBefore = view.frames();
        transparency->setValue(kHalfTransparency);
        if (settled(view, "showing the sound layer", framesBefore + 1)) {
          status = 0;
        }
      }
    }
  }

  if (status == 0) {
    const QPixmap picture = window.grab();
    if (picture.isNull() || !picture.save(output, "PNG")) {
      std::fprintf(stderr, "panorama-screenshot: cannot write %s\n", qPrintable(output));
      status = 1;
    } else {
      std::printf("panorama-screenshot: wrote %s (%dx%d)\n", qPrintable(output), picture.width(),
                  picture.height());
    }
  }

  window.close();  // the controller's close, as when the user closes the window
  window.deleteListener();
  return status;
}
