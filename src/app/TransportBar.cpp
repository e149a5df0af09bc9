#include "app/TransportBar.h"

#include <QEvent>
#include <QKeyEvent>
#include <QStyleOptionButton>
#include <QStylePainter>

#include "disc/MMControl.h"

namespace {

struct ButtonInfo {
  const char* word;  // command word sent to the control
  const char* name;  // object name
  QString tip;       // tooltip and accessible name
};

const std::array<ButtonInfo, TransportBar::kButtons>& buttonInfo() {
  static const std::array<ButtonInfo, TransportBar::kButtons> all{{
      {"Prev", "btnPrev", QStringLiteral("Anterior")},
      {"Next", "btnNext", QStringLiteral("Siguiente")},
      {"Play", "btnPlay", QStringLiteral("Reproducir")},
      {"Pause", "btnPause", QStringLiteral("Pausa")},
      {"Stop", "btnStop", QStringLiteral("Detener")},
      {"Eject", "btnEject", QStringLiteral("Expulsar")},
  }};
  return all;
}

// The glyphs, drawn pixel by pixel as runs of a row: {row, first column,
// width}. Rows and columns in px from the glyph's top-left corner.
struct Run {
  int row, col, width;
};

// A solid triangle 9 px high, pointing left or right, 5 px wide, with its
// flat side at column `base`.
void triangle(std::vector<Run>& runs, int base, bool pointsRight) {
  for (int row = 0; row < 9; ++row) {
    const int width = 5 - std::abs(row - 4);
    runs.push_back({row, pointsRight ? base : base + 5 - width, width});
  }
}

std::vector<Run> glyph(int index) {
  std::vector<Run> runs;
  switch (index) {
    case TransportBar::Prev:  // |<<
      for (int row = 0; row < 9; ++row) runs.push_back({row, 0, 2});
      triangle(runs, 2, false);
      triangle(runs, 7, false);
      break;
    case TransportBar::Next:  // >>|
      triangle(runs, 0, true);
      triangle(runs, 5, true);
      for (int row = 0; row < 9; ++row) runs.push_back({row, 10, 2});
      break;
    case TransportBar::Play:
      triangle(runs, 0, true);
      break;
    case TransportBar::Pause:
      for (int row = 0; row < 9; ++row) {
        runs.push_back({row, 0, 3});
        runs.push_back({row, 5, 3});
      }
      break;
    case TransportBar::Stop:
      for (int row = 1; row < 9; ++row) runs.push_back({row, 0, 8});
      break;
    case TransportBar::Eject:
      for (int row = 0; row < 5; ++row) runs.push_back({row, 4 - row, 2 * row + 1});
      for (int row = 6; row < 8; ++row) runs.push_back({row, 0, 9});
      break;
  }
  return runs;
}

QSize glyphSize(const std::vector<Run>& runs) {
  int width = 0, height = 0;
  for (const Run& r : runs) {
    width = std::max(width, r.col + r.width);
    height = std::max(height, r.row + 1);
  }
  return {width, height};
}

void paintRuns(QPainter& painter, const std::vector<Run>& runs, QPoint origin, const QColor& c) {
  for (const Run& r : runs) painter.fillRect(origin.x() + r.col, origin.y() + r.row, r.width, 1, c);
}

// A push button showing one glyph, etched when disabled, with a dotted focus
// mark when the bar's keyboard mark is on it and the control has the focus.
class TransportButton : public QPushButton {
 public:
  TransportButton(int index, QWidget* focusOwner, const TransportBar* bar, QWidget* parent)
      : QPushButton(parent),
        index_(index),
        runs_(glyph(index)),
        focusOwner_(focusOwner),
        bar_(bar) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.state &= ~QStyle::State_HasFocus;
    painter.drawControl(QStyle::CE_PushButtonBevel, option);

    const QSize size = glyphSize(runs_);
    QPoint origin((width() - size.width()) / 2, (height() - size.height()) / 2);
    if (isDown()) origin += QPoint(1, 1);
    if (isEnabled()) {
      paintRuns(painter, runs_, origin, palette().color(QPalette::ButtonText));
    } else {
      paintRuns(painter, runs_, origin + QPoint(1, 1), palette().color(QPalette::Light));
      paintRuns(painter, runs_, origin, palette().color(QPalette::Dark));
    }
    if (focusOwner_->hasFocus() && bar_->marked() == index_) {
      QStyleOptionFocusRect focus;
      focus.initFrom(this);
      focus.rect = rect().adjusted(4, 4, -4, -4);
      painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
  }

 private:
  int index_;
  std::vector<Run> runs_;
  QWidget* focusOwner_;
  const TransportBar* bar_;
};

}  // namespace

TransportBar::TransportBar(MMControl* control) : QWidget(control), control_(control) {
  setObjectName(QStringLiteral("TransportBar"));
  setFocusPolicy(Qt::NoFocus);
  for (int i = 0; i < kButtons; ++i) {
    auto* b = new TransportButton(i, control_, this, this);
    b->setObjectName(QLatin1String(buttonInfo()[i].name));
    b->setToolTip(buttonInfo()[i].tip);
    b->setAccessibleName(buttonInfo()[i].tip);
    b->setFocusPolicy(Qt::NoFocus);
    b->setAutoDefault(false);
    connect(b, &QPushButton::pressed, this, [this, i] {
      marked_ = i;
      control_->setFocus(Qt::MouseFocusReason);
      for (QPushButton* each : buttons_) each->update();
    });
    connect(b, &QPushButton::clicked, this, [this, i] { press(i); });
    buttons_[i] = b;
  }
  fitControl();
  control_->installEventFilter(this);
  connect(control_, &MMControl::commandSent, this, &TransportBar::refresh);
  refresh();
}

std::array<bool, TransportBar::kButtons> TransportBar::enabledFor(DeviceMode mode, bool canEject) {
  switch (mode) {
    case DeviceMode::Stopped:
      return {true, true, true, false, false, canEject};
    case DeviceMode::Playing:
      return {true, true, false, true, true, canEject};
    case DeviceMode::Paused:
      return {true, true, true, true, true, canEject};
    case DeviceMode::NotOpen:
    case DeviceMode::NoDisc:
      break;
  }
  return {false, false, false, false, false, canEject};
}

// Fills the control; button i spans [i * width / 6, (i + 1) * width / 6).
void TransportBar::fitControl() {
  setGeometry(control_->rect());
  for (int i = 0; i < kButtons; ++i) {
    const int left = i * width() / kButtons;
    const int right = (i + 1) * width() / kButtons;
    buttons_[i]->setGeometry(left, 0, right - left, height());
  }
}

void TransportBar::refresh() {
  const auto enabled = enabledFor(control_->Mode(), control_->CanEject());
  for (int i = 0; i < kButtons; ++i) buttons_[i]->setEnabled(enabled[i]);
  if (!enabled[marked_]) moveMark(1);
}

void TransportBar::press(int index) {
  if (!buttons_[index]->isEnabled()) return;
  control_->Command(buttonInfo()[index].word);
}

// Moves the keyboard mark to the next enabled button in direction `step`,
// wrapping; stays put when no other button is enabled.
void TransportBar::moveMark(int step) {
  for (int k = 1; k <= kButtons; ++k) {
    const int i = ((marked_ + step * k) % kButtons + kButtons) % kButtons;
    if (!buttons_[i]->isEnabled()) continue;
    if (i != marked_) {
      marked_ = i;
      for (QPushButton* b : buttons_) b->update();
    }
    return;
  }
}

bool TransportBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched != control_) return QWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::Resize:
      fitControl();
      break;
    case QEvent::FocusIn:
    case QEvent::FocusOut:
      for (QPushButton* b : buttons_) b->update();
      break;
    case QEvent::KeyPress: {
      const auto* key = static_cast<QKeyEvent*>(event);
      switch (key->key()) {
        case Qt::Key_Left:
          moveMark(-1);
          return true;
        case Qt::Key_Right:
          moveMark(1);
          return true;
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter:
          if (buttons_[marked_]->isEnabled()) buttons_[marked_]->click();
          return true;
        default:
          break;
      }
      break;
    }
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}
