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
#include "view/SeekBar.h"
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
}  // namespace

TEST(Accessibility, EveryControlHasASpanishNameAndAValueAListenerUnderstands) {
  auto* mixer = new FakeMixer;
  modVolumen::SetMixerApi(std::unique_ptr<FakeMixer>(mixer));
  TestWindow w;
  ASSERT_TRUE(w.activate());
  w.play(99'000);

  std::set<Node> tree;
  dump(QAccessible::queryAccessibleInterface(w.form.get()), tree);
  for (const auto& [name, role, value] : tree)
    EXPECT_FALSE(name.isEmpty()) << "a control without a name, role " << role;
  using enum QAccessible::Role;
  const Node expected[] = {
      {"Velmar", Client, ""},
      {"Pantalla", StaticText, "Pista 1 - 01:39"},
      {"Pista 1 - 01:39", StaticText, ""},
      {"Posición en la pista", Slider, "01:39 de 03:18"},
      {"Volumen", Slider, "100 %"},
      {"Pista", ComboBox, ""},
      {"Control de reproducción", Client, ""},
      {"Anterior", Button, ""},
      {"Siguiente", Button, ""},
      {"Reproducir", Button, ""},
      {"Pausa", Button, ""},
      {"Detener", Button, ""},
      {"Expulsar", Button, ""},
  };
  for (const auto& [name, role, value] : expected)
    EXPECT_TRUE(tree.count({name, role, value}))
        << name.toStdString() << ", role " << role << ", value «" << value.toStdString() << "»";

  // The volume reads as loudness: the slider's scale is upside down.
  QAccessibleInterface* volume = QAccessible::queryAccessibleInterface(w->Slider1);
  QAccessibleValueInterface* value = volume->valueInterface();
  ASSERT_NE(value, nullptr);
  const std::pair<int, const char*> positions[] = {
      {0, "100 %"}, {16384, "75 %"}, {32768, "50 %"}, {65535, "0 %"}};
  for (const auto& [at, text] : positions) {
    w->Slider1->setValue(at);
    EXPECT_EQ(volume->text(QAccessible::Value), text);
  }
  EXPECT_EQ(value->maximumValue().toInt(), 100);
  // A value set by an assistive tool moves the slider as a user does, so
  // the mixer gets the same write.
  const size_t calls = mixer->calls.size();
  value->setCurrentValue(25);
  EXPECT_EQ(w->Slider1->value(), 49151);
  ASSERT_EQ(mixer->calls.size(), calls + 1);
  EXPECT_EQ(std::get<4>(mixer->calls.back()), 16384u);

  // Without a track the seek bar says so.
  w->MMControl1->Command("Eject");
  w->Timer1_Timer();
  EXPECT_EQ(QAccessible::queryAccessibleInterface(w->lblSlider)->text(QAccessible::Value),
            "Sin pista");
}

TEST(QtTranslation, TheBoxIsItsTextAndAPlainAceptar) {
  ASSERT_TRUE(velmar::installQtTranslation()) << "qtbase_es.qm (package qt6-translations-l10n)";
  // A style that puts icons on dialog buttons, as GNOME's and KDE's do.
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
