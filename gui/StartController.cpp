#include "StartController.h"

#include <numbers>

#include "Graphicsscene.h"
#include "viewer.h"

std::unique_ptr<PanController> startController(viewer& window) {
  auto controller = std::make_unique<PanController>(&window, 50.0, std::numbers::pi / 2, 0.0);
  window.setListener(controller.get());
  window.canvasScene()->setListener(controller.get());
  return controller;
}
