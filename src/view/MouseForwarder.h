#pragma once

#include <QObject>

class QWidget;

// Hands the mouse presses, moves and releases a widget receives to another
// widget, in that widget's coordinates. The source keeps its own cursor and
// stays the mouse grabber during a drag that starts on it.
class MouseForwarder : public QObject {
 public:
  MouseForwarder(QWidget* from, QWidget* to);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* to_;
};
