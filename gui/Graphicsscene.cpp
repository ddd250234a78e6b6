#include "Graphicsscene.h"

#include <QGraphicsSceneMouseEvent>
#include <QGraphicsSceneWheelEvent>

#include "controller/guiListener.h"

Graphicsscene::Graphicsscene(QObject* parent) : QGraphicsScene(parent) {}

void Graphicsscene::setListener(guiListener* newListener) { listener = newListener; }

void Graphicsscene::mousePressEvent(QGraphicsSceneMouseEvent* event) {
  dragging = true;
  // The view records the press position only for the button that went down,
  // so the press point is taken from that button (for a right-button drag
  // the left button's entry would be the scene origin).
  const QPointF down = event->buttonDownScenePos(event->button());
  pressX = static_cast<int>(down.x());
  pressY = static_cast<int>(down.y());
  if (grabMode && listener != nullptr) listener->grabAt(down.x(), down.y());
  QGraphicsScene::mousePressEvent(event);
}

void Graphicsscene::mouseMoveEvent(QGraphicsSceneMouseEvent* event) {
  if (!dragging && event->buttons() == Qt::NoButton) {
    emit pointerMoved(event->scenePos());
    return;
  }
  if (!dragging || listener == nullptr) return;
  if (grabMode) {
    listener->dragGrabbedTo(event->scenePos().x(), event->scenePos().y());
    return;
  }
  const QPointF previous = event->lastScenePos();
  const int dx = static_cast<int>(pressX - previous.x());
  const int dy = static_cast<int>(pressY - previous.y());
  listener->mouseDraged(dx, dy);
}

void Graphicsscene::mouseReleaseEvent(QGraphicsSceneMouseEvent* event) {
  dragging = false;
  if (listener != nullptr) listener->mouseReleased();
  QGraphicsScene::mouseReleaseEvent(event);
}

void Graphicsscene::wheelEvent(QGraphicsSceneWheelEvent* event) {
  if (listener == nullptr) return;
  // The view fills delta() from the wheel's angle delta (angleDelta().y()
  // for an ordinary vertical wheel).
  listener->mouseScrolled(event->delta() >= 0 ? 1 : -1);
  event->accept();  // the canvas itself never scrolls
}
