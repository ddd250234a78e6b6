#include "StartController.h"

#include <numbers>

#include "Graphicsscene.h"
#include "viewer.h"

std::unique_ptr<PanController> startController(viewer& window) {
  auto controller = std::make_unique<PanController>(&window, 50.0, std::numbers::pi / 2, 0.0);
  // The window draws the colour scale as its "Legende" action says and
  // always marks the loudest direction.
  controller->setLegendVisible(window.legendChecked());
  controller->setPeakMarkerVisible(true);
  window.setListener(controller.get());
  window.canvasScene()->setListener(controller.get());
  return controller;
}
