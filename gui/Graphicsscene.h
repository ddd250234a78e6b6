#pragma once

#include <QGraphicsScene>
#include <QPointF>

class guiListener;

// The canvas scene: turns mouse input on the canvas into guiListener calls.
// Holding a button and moving reports the distance from the press point to
// the pointer position of the previous mouse event (press minus pointer, so a
// drag to the right or downwards gives negative values); the wheel reports
// +1 or -1 per event. Nothing is reported while no listener is set. A move
// with no button held (the canvas tracks the pointer) is announced as
// pointerMoved with its scene position, for the pointer line.
//
// In grab mode ("Ziehen") the press reports its scene position (grabAt) and
// every move while the button is held the pointer's current scene position
// (dragGrabbedTo): scene coordinates are the view image's pixel positions.
class Graphicsscene : public QGraphicsScene {
  Q_OBJECT

 public:
  explicit Graphicsscene(QObject* parent = nullptr);

  // Not owned; null stops all reports.
  void setListener(guiListener* listener);

  guiListener* listener = nullptr;
  bool dragging = false;
  bool grabMode = false;
  // Scene coordinates of the last press, truncated toward zero.
  int pressX = 0;
  int pressY = 0;

 signals:
  // The pointer moved over the scene with no button held.
  void pointerMoved(QPointF scenePos);

 protected:
  void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
  void mouseMoveEvent(QGraphicsSceneMouseEvent* event) override;
  void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;
  void wheelEvent(QGraphicsSceneWheelEvent* event) override;
};
