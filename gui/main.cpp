#include <QApplication>

#include <memory>
#include <numbers>

#include "Graphicsscene.h"
#include "controller/PanController.h"
#include "viewer.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);

  // Shown before the controller exists, so that the canvas has its real
  // size when the controller asks for it.
  viewer window;
  window.show();

  // Start camera: 50 mm, looking at the horizon, azimuth 0.
  auto controller = std::make_unique<PanController>(&window, 50.0, std::numbers::pi / 2, 0.0);
  window.setListener(controller.get());
  window.canvasScene()->setListener(controller.get());

  const int exitCode = application.exec();
  // The controller goes first; the window must not reach it afterwards.
  window.deleteListener();
  return exitCode;
}
