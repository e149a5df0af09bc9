#include <QComboBox>
#include <QFont>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QSlider>
#include <QTimer>

#include "app/GrooveLine.h"
#include "app/Layout.h"
#include "app/LinePitch.h"
#include "app/Pictures.h"
#include "app/TransportBar.h"
#include "app/frmVelmar.h"
#include "disc/MMControl.h"
#include "view/SeekBar.h"

namespace {
// Fonts by their design names; fontconfig picks the substitutes (Liberation
// Sans for Arial, a fixed-pitch face for Terminal).
QFont displayFont() {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(12);
  font.setBold(true);
  return font;
}

QFont captionFont() {
  QFont font(QStringLiteral("Terminal"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPointSize(6);
  font.setStyleStrategy(QFont::NoAntialias);
  font.setBold(true);
  return font;
}
}  // namespace

void frmVelmar::styleControls() {
  if (isWindow()) {
    // A fixed-size window: no maximise box.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
  }
  setWindowIcon(pictures::windowIcon());
  ImageList1 = pictures::imageList1();

  // The display: a sunken black box; the caption in white straight on it,
  // placed from the box's inner area.
  picLED->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
  picLED->setAutoFillBackground(true);
  QPalette led = picLED->palette();
  led.setColor(QPalette::Window, Qt::black);
  picLED->setPalette(led);
  Label4->setFont(displayFont());
  QPalette text = Label4->palette();
  text.setColor(QPalette::WindowText, Qt::white);
  Label4->setPalette(text);
  Label4->setAutoFillBackground(false);
  Label4->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label4->move(layout::kLabel4.pixels().topLeft() + picLED->contentsRect().topLeft());

  // "V O L U M E N": wraps at every space, one letter per line, on an opaque
  // button-face background.
  Label1->setFont(captionFont());
  Label1->setWordWrap(true);
  Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label1->setAutoFillBackground(true);
  Label1->setBackgroundRole(QPalette::Button);
  Label1->setForegroundRole(QPalette::ButtonText);
  setLinePitch(Label1, QFontInfo(Label1->font()).pixelSize());

  // Volume: 0 at the top, 65535 at the bottom; Down and PageDown increase.
  Slider1->setOrientation(Qt::Vertical);
  Slider1->setRange(0, 65535);
  Slider1->setSingleStep(500);
  Slider1->setPageStep(1000);
  Slider1->setInvertedAppearance(true);
  Slider1->setInvertedControls(true);
  Slider1->setTickPosition(QSlider::TicksRight);
  Slider1->setTickInterval(6554);
  Slider1->setValue(0);

  // The seek bar: the groove's three lines over the bar, the thumb above
  // them. The lines let the mouse through to the bar.
  const struct {
    const char* name;
    layout::TwipLine line;
    QPalette::ColorRole role;
  } grooves[] = {
      {"Line1", layout::kLine1, QPalette::Dark},    // button shadow
      {"Line2", layout::kLine2, QPalette::Shadow},  // 3-D dark shadow
      {"Line3", layout::kLine3, QPalette::Light},   // 3-D highlight
  };
  for (const auto& g : grooves) {
    auto* line = new GrooveLine(g.line, g.role, this);
    line->setObjectName(QLatin1String(g.name));
  }
  lblSlider->setText(QString());
  lblSlider->setFocusPolicy(Qt::NoFocus);
  lblSlider->setCursor(pictures::handCursor());
  imgSlider->setPixmap(pictures::seekThumb());
  imgSlider->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  imgSlider->setCursor(pictures::handCursor());
  imgSlider->raise();

  // The bar follows the device at every tick, after the tick's own work.
  connect(Timer1, &QTimer::timeout, new TransportBar(MMControl1), &TransportBar::refresh);

  // Focus cycles through the transport bar, the display box, the slider and
  // the list; labels never take it. The window opens with it on the bar.
  MMControl1->setFocusPolicy(Qt::StrongFocus);
  picLED->setFocusPolicy(Qt::StrongFocus);
  Slider1->setFocusPolicy(Qt::StrongFocus);
  List1->setFocusPolicy(Qt::StrongFocus);
  for (QLabel* label : {Label4, Label1}) label->setFocusPolicy(Qt::NoFocus);
  setTabOrder(MMControl1, picLED);
  setTabOrder(picLED, Slider1);
  setTabOrder(Slider1, List1);
  MMControl1->setFocus();
}
