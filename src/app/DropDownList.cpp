#include "app/DropDownList.h"

#include <QKeyEvent>
#include <QListView>

namespace {

// The empty list: a popup window with the look of the box's own list.
class EmptyList : public QListView {
 public:
  explicit EmptyList(QWidget* box) : QListView(box) {
    setWindowFlags(Qt::Popup);
    setObjectName(QStringLiteral("EmptyList"));
  }

 protected:
  // The keys that close Qt's own list close this one.
  void keyPressEvent(QKeyEvent* event) override {
    switch (event->key()) {
      case Qt::Key_Escape:
      case Qt::Key_Return:
      case Qt::Key_Enter:
      case Qt::Key_F4:
        close();
        return;
      case Qt::Key_Up:
      case Qt::Key_Down:
        if (event->modifiers() & Qt::AltModifier) close();
        return;
      default:
        QListView::keyPressEvent(event);
    }
  }
};

}  // namespace

void DropDownList::showPopup() {
  if (count() > 0) {
    QComboBox::showPopup();
    return;
  }
  if (!empty_) empty_ = new EmptyList(this);
  empty_->setFont(font());
  empty_->setAccessibleName(view()->accessibleName());
  empty_->setGeometry(QRect(mapToGlobal(QPoint(0, height())),
                            QSize(width(), fontMetrics().height() + 2 * empty_->frameWidth())));
  empty_->show();
  empty_->setFocus();
}

void DropDownList::hidePopup() {
  if (empty_) empty_->hide();
  QComboBox::hidePopup();
}
