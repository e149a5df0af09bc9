#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QSlider>
#include <algorithm>

#include "app/TransportBar.h"
#include "app/VolumeScale.h"
#include "app/frmVelmar.h"
#include "disc/MMControl.h"
#include "disc/modFunciones.h"
#include "view/SeekBar.h"
#include "view/TimeFormat.h"
#include "view/ViewState.h"

namespace {

// The window a control belongs to, when it is one of ours.
frmVelmar* ownerOf(QObject* object) {
  auto* widget = qobject_cast<QWidget*>(object);
  return widget ? qobject_cast<frmVelmar*>(widget->window()) : nullptr;
}

// The volume slider: its value as a percentage of loudness ("75 %"), top of
// the slider = 100 %. A value set by an assistive tool moves the slider as a
// drag does, so the mixer gets what a user's move writes.
class VolumeAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit VolumeAccessible(QSlider* slider) : QAccessibleWidget(slider, QAccessible::Slider) {}

  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
  }
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return QStringLiteral("%1 %").arg(percentNow());
    return QAccessibleWidget::text(t);
  }
  QVariant currentValue() const override { return percentNow(); }
  void setCurrentValue(const QVariant& value) override {
    slider()->setSliderPosition(volumescale::sliderValueFor(value.toDouble() / 100.0));
  }
  QVariant maximumValue() const override { return 100; }
  QVariant minimumValue() const override { return 0; }
  QVariant minimumStepSize() const override { return 1; }

 private:
  QSlider* slider() const { return static_cast<QSlider*>(widget()); }
  int percentNow() const { return volumescale::percent(slider()->value()); }
};

// The seek bar: where playback stands in the current track, "01:39 de
// 03:18", as the display and the thumb show it at the last tick. Read-only.
class SeekAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit SeekAccessible(QWidget* bar) : QAccessibleWidget(bar, QAccessible::Slider) {}

  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
  }
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.readOnly = true;
    return s;
  }
  QString text(QAccessible::Text t) const override {
    if (t != QAccessible::Value) return QAccessibleWidget::text(t);
    if (lengthSeconds() == 0) return QStringLiteral("Sin pista");
    return QStringLiteral("%1 de %2")
        .arg(modFunciones::FormatTime(elapsedSeconds()), modFunciones::FormatTime(lengthSeconds()));
  }
  QVariant currentValue() const override { return elapsedSeconds(); }
  void setCurrentValue(const QVariant&) override {}
  QVariant maximumValue() const override { return lengthSeconds(); }
  QVariant minimumValue() const override { return 0; }
  QVariant minimumStepSize() const override { return 1; }

 private:
  static int16_t seconds(int64_t ms) {
    return static_cast<int16_t>(std::clamp<int64_t>(ms / 1000, 0, INT16_MAX));
  }
  static int16_t lengthSeconds() {
    return seconds(int64_t{modFunciones::CurrentEnd} - modFunciones::CurrentStart);
  }
  static int16_t elapsedSeconds() { return std::min(seconds(view::Elapsed), lengthSeconds()); }
};

// The display box: reads the caption it frames ("Pista 1 - 01:39").
class DisplayAccessible : public QAccessibleWidget {
 public:
  DisplayAccessible(QWidget* box, QLabel* caption)
      : QAccessibleWidget(box, QAccessible::StaticText), caption_(caption) {}

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value || t == QAccessible::Description) return caption_->text();
    return QAccessibleWidget::text(t);
  }

 private:
  QLabel* caption_;
};

QAccessibleInterface* velmarAccessible(const QString&, QObject* object) {
  frmVelmar* form = ownerOf(object);
  if (!form) return nullptr;
  if (object == form->Slider1) return new VolumeAccessible(form->Slider1);
  if (object == form->lblSlider) return new SeekAccessible(form->lblSlider);
  if (object == form->picLED) return new DisplayAccessible(form->picLED, form->Label4);
  return nullptr;
}

}  // namespace

void frmVelmar::describeControls() {
  static const bool installed = [] {
    QAccessible::installFactory(velmarAccessible);
    return true;
  }();
  (void)installed;

  setAccessibleName(QStringLiteral("Velmar"));
  MMControl1->setAccessibleName(QStringLiteral("Control de reproducción"));
  if (auto* bar = MMControl1->findChild<TransportBar*>())
    bar->setAccessibleName(QStringLiteral("Botones de reproducción"));
  List1->setAccessibleName(QStringLiteral("Pista"));
  List1->view()->setAccessibleName(QStringLiteral("Lista de pistas"));
  List1->setAccessibleDescription(
      QStringLiteral("Elija una pista para escucharla desde el principio"));
  Slider1->setAccessibleName(QStringLiteral("Volumen"));
  // The caption inside the display keeps its own text as its name.
  picLED->setAccessibleName(QStringLiteral("Pantalla"));
  lblSlider->setAccessibleName(QStringLiteral("Posición en la pista"));
  imgSlider->setAccessibleName(QStringLiteral("Indicador de posición"));
  Label1->setAccessibleName(QStringLiteral("Volumen"));
  for (const char* line : {"Line1", "Line2", "Line3"})
    if (auto* w = findChild<QWidget*>(QLatin1String(line)))
      w->setAccessibleName(QStringLiteral("Surco de la barra de posición"));
}
