#include <QApplication>
#include <QTimer>

#include <cstdio>

#include "CommandLine.h"
#include "base/ImageMemory.h"
#include "OpenRequest.h"
#include "SignalWatcher.h"
#include "StartController.h"
#include "viewer.h"

int main(int argc, char* argv[]) {
  tuneMemoryForImages();  // before Qt or the viewer start a thread
  // --help and --version answer before Qt looks for a display.
  QStringList raw;
  for (int i = 1; i < argc; ++i) raw << QString::fromLocal8Bit(argv[i]);
  const CommandLine early = parseCommandLine(raw);
  if (early.help || early.version) {
    std::fputs(qPrintable(early.help ? commandLineUsage() : versionText()), stdout);
    return 0;
  }

  QApplication application(argc, argv);
  // Where QSettings keeps the remembered choices (~/.config/panorama-viewer/).
  QCoreApplication::setOrganizationName("panorama-viewer");
  QCoreApplication::setApplicationName("panorama-viewer");
  // Qt has taken its own options (-platform, -style, ...) out by now.
  const CommandLine command = parseCommandLine(QCoreApplication::arguments().mid(1));
  if (!command.error.isEmpty()) {
    std::fprintf(stderr, "panorama-viewer: %s\n%s", qPrintable(command.error),
                 qPrintable(commandLineUsage()));
    return 2;
  }

  // SIGINT and SIGTERM close the window as its close button does.
  SignalWatcher stopSignals;

  // Shown before the controller exists, so that the canvas has its real
  // size when the controller asks for it.
  viewer window;
  window.show();

  auto controller = startController(window);
  QObject::connect(&stopSignals, &SignalWatcher::received, &window, [&window] {
    window.close();
    QCoreApplication::quit();  // also when a dialog of the window is open
  });

  // The command line's files are opened once the event loop runs.
  const OpenRequest request{command.panorama, command.soundDirectory};
  if (!request.empty()) {
    QTimer::singleShot(0, &window, [&window, request] { window.openFiles(request); });
  }

  const int exitCode = application.exec();
  // The controller goes first; the window must not reach it afterwards.
  window.deleteListener();
  return exitCode;
}
