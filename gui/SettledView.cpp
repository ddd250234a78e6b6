#include "SettledView.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include "controller/PanController.h"
#include "viewer.h"

SettledView::SettledView(viewer* window, const PanController* controller)
    : QObject(window), controller_(controller) {
  // Connected after the window's own reDraw: an image counts once shown.
  // Images drawn from a worker thread are queued, and keep their order.
  connect(window, &viewer::newImage, this, [this] { ++frames_; });
}

bool SettledView::controllerIdle() const {
  return controller_->settled();
}

bool SettledView::waitUntilSettled(std::chrono::milliseconds timeout, int minimumFrames) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < timeout.count()) {
    // A worker posts its images and texts before it clears `locked`, so once
    // the controller is idle they are all queued; handing them over may in
    // turn start new work (a resize of the canvas), hence the second look.
    if (controllerIdle()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents);
      QCoreApplication::sendPostedEvents();
      if (controllerIdle() && frames_ >= minimumFrames) return true;
    } else {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    QThread::msleep(10);
  }
  return false;
}
