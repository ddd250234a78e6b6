#pragma once

#include <memory>

#include "controller/PanController.h"

class viewer;

// The program's controller for a window that is already shown (so the canvas
// has its real size): the start camera (f = 50 mm, altitude pi/2 at the
// horizon, azimuth 0) with the window's sound map options (the legend as the
// "Legende" action says, the peak marker on), handed to the window and to its
// canvas scene as their listener. The caller owns it and lets the window
// forget it first.
std::unique_ptr<PanController> startController(viewer& window);
