#include "ViewKeys.h"

#include "base/Constants.h"
#include "controller/guiListener.h"

bool applyViewKey(int key, Qt::KeyboardModifiers modifiers, guiListener* listener) {
  if ((modifiers & ~(Qt::ShiftModifier | Qt::KeypadModifier)) != Qt::NoModifier) {
    return false;
  }
  const double step =
      degreesToRadians(modifiers & Qt::ShiftModifier ? kShiftKeyTurnDegrees : kKeyTurnDegrees);
  double dAzimuth = 0.0;
  double dAltitude = 0.0;
  switch (key) {
    case Qt::Key_Left:
      dAzimuth = step;
      break;
    case Qt::Key_Right:
      dAzimuth = -step;
      break;
    case Qt::Key_Up:
      dAltitude = step;
      break;
    case Qt::Key_Down:
      dAltitude = -step;
      break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:  // the plus key's own key on US keyboards
      if (listener != nullptr) listener->mouseScrolled(+1);
      return true;
    case Qt::Key_Minus:
      if (listener != nullptr) listener->mouseScrolled(-1);
      return true;
    case Qt::Key_Home:
      if (listener != nullptr) listener->resetCamera();
      return true;
    default:
      return false;
  }
  if (listener != nullptr) listener->turnBy(dAzimuth, dAltitude);
  return true;
}
