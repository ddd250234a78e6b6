#include <QApplication>

#include "StartController.h"
#include "viewer.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);

  // Shown before the controller exists, so that the canvas has its real
  // size when the controller asks for it.
  viewer window;
  window.show();

  auto controller = startController(window);

  const int exitCode = application.exec();
  // The controller goes first; the window must not reach it afterwards.
  window.deleteListener();
  return exitCode;
}
