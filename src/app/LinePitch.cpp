#include "app/LinePitch.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QTextLayout>

namespace {
class LinePitchPainter : public QObject {
 public:
  LinePitchPainter(QLabel* label, int pitch) : QObject(label), label_(label), pitch_(pitch) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != label_ || event->type() != QEvent::Paint) return false;
    // The background (auto-fill) is already painted; only the text is ours.
    QPainter painter(label_);
    painter.setPen(label_->palette().color(label_->foregroundRole()));
    const QRect area = label_->contentsRect();
    QTextLayout text(label_->text(), label_->font(), label_);
    QTextOption option(label_->alignment());
    option.setWrapMode(QTextOption::WordWrap);
    text.setTextOption(option);
    text.beginLayout();
    for (int row = 0;; ++row) {
      QTextLine line = text.createLine();
      if (!line.isValid()) break;
      line.setLineWidth(area.width());
      const qreal baseline = row * pitch_ + pitch_ - 1;
      line.setPosition(QPointF(0, baseline - line.ascent()));
    }
    text.endLayout();
    text.draw(&painter, area.topLeft());
    return true;
  }

 private:
  QLabel* label_;
  int pitch_;
};
}  // namespace

void setLinePitch(QLabel* label, int pitch) {
  label->installEventFilter(new LinePitchPainter(label, pitch));
  label->update();
}
