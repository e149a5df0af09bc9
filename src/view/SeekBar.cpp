#include "view/SeekBar.h"

#include <QMouseEvent>

#include "app/Layout.h"

namespace {

int16_t buttonMask(Qt::MouseButtons buttons) {
  int16_t mask = 0;
  if (buttons & Qt::LeftButton) mask |= 1;
  if (buttons & Qt::RightButton) mask |= 2;
  if (buttons & Qt::MiddleButton) mask |= 4;
  if (buttons & ~(Qt::LeftButton | Qt::RightButton | Qt::MiddleButton)) mask |= 8;
  return mask;
}

int16_t shiftMask(Qt::KeyboardModifiers modifiers) {
  int16_t mask = 0;
  if (modifiers & Qt::ShiftModifier) mask |= 1;
  if (modifiers & Qt::ControlModifier) mask |= 2;
  if (modifiers & Qt::AltModifier) mask |= 4;
  return mask;
}

}  // namespace

SeekBar::SeekBar(QWidget* parent) : QLabel(parent) {}

// Accepting the press makes the bar the implicit grabber: every move and the
// release go to it until the last button is up, inside the window or not.
void SeekBar::mousePressEvent(QMouseEvent* event) {
  event->accept();
}

void SeekBar::mouseMoveEvent(QMouseEvent* event) {
  event->accept();
  if (event->buttons() == Qt::NoButton) return;
  const QPointF at = event->position() + QPointF(pos());
  emit mouseMoved(buttonMask(event->buttons()), shiftMask(event->modifiers()),
                  layout::twips(static_cast<float>(at.x())),
                  layout::twips(static_cast<float>(at.y())));
}

void SeekBar::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  const QPointF at = event->position() + QPointF(pos());
  emit mouseReleased(buttonMask(event->buttons() | event->button()), shiftMask(event->modifiers()),
                     layout::twips(static_cast<float>(at.x())),
                     layout::twips(static_cast<float>(at.y())));
  if (event->buttons() == Qt::NoButton) emit allButtonsReleased();
}
