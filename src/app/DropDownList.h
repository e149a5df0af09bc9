#pragma once

#include <QComboBox>
#include <QPointer>

class QListView;

// A combo box whose list drops down also when it holds no item, as a
// drop-down list does: the empty list opens under the box, as wide as the
// box and one row high, and closes as Qt's own list does (a click outside,
// Escape). With items it is Qt's own list.
class DropDownList : public QComboBox {
  Q_OBJECT

 public:
  using QComboBox::QComboBox;

  void showPopup() override;
  void hidePopup() override;

 private:
  QPointer<QListView> empty_;
};
