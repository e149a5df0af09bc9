#include "view/MouseForwarder.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWidget>

MouseForwarder::MouseForwarder(QWidget* from, QWidget* to) : QObject(from), to_(to) {
  from->installEventFilter(this);
}

bool MouseForwarder::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
      auto* source = static_cast<QWidget*>(watched);
      auto* e = static_cast<QMouseEvent*>(event);
      const QPointF local = to_->mapFromGlobal(source->mapToGlobal(e->position()));
      const QEvent::Type type =
          e->type() == QEvent::MouseButtonDblClick ? QEvent::MouseButtonPress : e->type();
      QMouseEvent copy(type, local, e->scenePosition(), e->globalPosition(), e->button(),
                       e->buttons(), e->modifiers(), e->pointingDevice());
      QCoreApplication::sendEvent(to_, &copy);
      return true;
    }
    default:
      return QObject::eventFilter(watched, event);
  }
}
