#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QMessageBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <set>
#include <tuple>

#include "app/Identity.h"
#include "support/TestWindow.h"
#include "volume/FakeMixer.h"
#include "volume/modVolumen.h"

namespace {
using Node = std::tuple<QString, int, QString>;  // name, role, value

// The accessible tree under `iface`.
void dump(QAccessibleInterface* iface, std::set<Node>& out) {
  if (!iface || !iface->isValid()) return;
  out.insert({iface->text(QAccessible::Name), iface->role(), iface->text(QAccessible::Value)});
  for (int i = 0; i < iface->childCount(); ++i) dump(iface->child(i), out);
}

QString valueOf(QWidget* w) {
  return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Value);
}
}  // namespace

TEST(Accessibility, EveryControlHasASpanishNameAndAValueAListenerUnderstands) {
  auto* mixer = new FakeMixer;
  modVolumen::SetMixerApi(std::unique_ptr<FakeMixer>(mixer));
  TestWindow w;
  ASSERT_TRUE(w.activate());
  w.play(99'000);

  std::set<Node> tree;
  dump(QAccessible::queryAccessibleInterface(w.form.get()), tree);
  ASSERT_GE(tree.size(), 13u) << "the window, its controls and six buttons";
  for (const auto& [name, role, value] : tree) EXPECT_FALSE(name.isEmpty()) << "role " << role;
  // What a listener hears of the display, the seek bar and the volume.
  const std::pair<QWidget*, const char*> values[] = {
      {w->picLED, "Pista 1 - 01:39"}, {w->lblSlider, "01:39 de 03:18"}, {w->Slider1, "100 %"}};
  for (const auto& [widget, text] : values) EXPECT_EQ(valueOf(widget), text);

  // The volume reads as loudness: the slider's scale is upside down. A value
  // set by an assistive tool moves the slider as a user does, so the mixer
  // gets the same write.
  w->Slider1->setValue(16384);
  EXPECT_EQ(valueOf(w->Slider1), "75 %");
  QAccessibleValueInterface* value =
      QAccessible::queryAccessibleInterface(w->Slider1)->valueInterface();
  value->setCurrentValue(25);
  EXPECT_EQ(w->Slider1->value(), 49151);
  EXPECT_EQ(std::get<4>(mixer->calls.back()), 16384u);

  // Without a track the seek bar says so.
  w->MMControl1->Command("Eject");
  w->Timer1_Timer();
  EXPECT_EQ(valueOf(w->lblSlider), "Sin pista");
}

// The one message box reads as the program's own: its text and a plain
// "Aceptar", even under a style that puts icons on dialog buttons.
TEST(QtTranslation, TheBoxIsItsTextAndAPlainAceptar) {
  ASSERT_TRUE(velmar::installQtTranslation()) << "qtbase_es.qm (package qt6-translations-l10n)";
  struct IconButtons : QProxyStyle {
    int styleHint(StyleHint h, const QStyleOption* o, const QWidget* w,
                  QStyleHintReturn* r) const override {
      return h == SH_DialogButtonBox_ButtonsHaveIcons || QProxyStyle::styleHint(h, o, w, r);
    }
  };
  QApplication::setStyle(new IconButtons);
  modVolumen::SetPresenter(nullptr);
  const modVolumen::Presenter show = modVolumen::SetPresenter(nullptr);  // the program's own
  QTimer::singleShot(0, [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_TRUE(box);
    EXPECT_EQ(box->windowTitle() + '|' + box->text(),
              "Velmar|No se pudo inicializar el control de volumen.");
    EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
    ASSERT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->buttons()[0]->text().remove('&'), "Aceptar");
    EXPECT_TRUE(box->buttons()[0]->icon().isNull()) << "no icon from the widget style";
    box->buttons()[0]->click();
  });
  show(nullptr, "Velmar", "No se pudo inicializar el control de volumen.");
}
