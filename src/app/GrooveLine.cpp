#include "app/GrooveLine.h"

#include <QPainter>

GrooveLine::GrooveLine(const layout::TwipLine& line, QPalette::ColorRole role, QWidget* parent)
    : QWidget(parent), role_(role) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
  const int x1 = layout::px(line.x1);
  const int x2 = layout::px(line.x2);
  setGeometry(x1, layout::px(line.y1), x2 - x1 + 1, 1);
}

void GrooveLine::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(role_));
}
