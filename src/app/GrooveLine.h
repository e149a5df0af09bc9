#pragma once

#include <QPalette>
#include <QWidget>

#include "app/Layout.h"

// One horizontal line of the seek bar's groove: one pixel high, solid, in a
// colour role of the window's palette, both end points drawn. It lets every
// mouse event through to what lies under it.
class GrooveLine : public QWidget {
  Q_OBJECT

 public:
  GrooveLine(const layout::TwipLine& line, QPalette::ColorRole role, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPalette::ColorRole role_;
};
