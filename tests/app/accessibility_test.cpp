#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <map>

#include "app/Identity.h"
#include "app/frmVelmar.h"
#include "disc/MMControl.h"
#include "disc/VirtualCdDevice.h"
#include "support/ManualClock.h"
#include "view/SeekBar.h"
#include "volume/FakeMixer.h"
#include "volume/modVolumen.h"

namespace {
// The accessible tree under `iface`, as "name" -> {role, value}, with
// every node without a name listed under "".
void dump(QAccessibleInterface* iface, std::multimap<QString, std::pair<int, QString>>& out) {
  if (!iface || !iface->isValid()) return;
  out.insert({iface->text(QAccessible::Name), {iface->role(), iface->text(QAccessible::Value)}});
  for (int i = 0; i < iface->childCount(); ++i) dump(iface->child(i), out);
}
}  // namespace

TEST(Accessibility, EveryControlHasASpanishNameAndAValueAListenerUnderstands) {
  auto* mixer = new FakeMixer;
  modVolumen::SetMixerApi(std::unique_ptr<FakeMixer>(mixer));
  ManualClock clock;
  frmVelmar form(std::make_unique<VirtualCdDevice>(threeTrackDisc(), clock.clock()));
  form.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.activated(); }, 2000));
  clock.advance(99'000);
  form.Timer1_Timer();

  std::multimap<QString, std::pair<int, QString>> tree;
  dump(QAccessible::queryAccessibleInterface(&form), tree);
  for (auto it = tree.find(""); it != tree.end() && it->first.isEmpty(); ++it)
    ADD_FAILURE() << "a control without a name, role " << it->second.first;
  const struct {
    const char* name;
    QAccessible::Role role;
    QString value;
  } expected[] = {
      {"Velmar", QAccessible::Client, ""},
      {"Pantalla", QAccessible::StaticText, "Pista 1 - 01:39"},
      {"Pista 1 - 01:39", QAccessible::StaticText, ""},
      {"Posición en la pista", QAccessible::Slider, "01:39 de 03:18"},
      {"Volumen", QAccessible::Slider, "100 %"},
      {"Pista", QAccessible::ComboBox, ""},
      {"Control de reproducción", QAccessible::Client, ""},
      {"Anterior", QAccessible::Button, ""},
      {"Siguiente", QAccessible::Button, ""},
      {"Reproducir", QAccessible::Button, ""},
      {"Pausa", QAccessible::Button, ""},
      {"Detener", QAccessible::Button, ""},
      {"Expulsar", QAccessible::Button, ""},
  };
  for (const auto& e : expected) {
    const auto range = tree.equal_range(e.name);
    ASSERT_NE(range.first, range.second) << "no control named " << e.name;
    bool found = false;
    for (auto it = range.first; it != range.second; ++it)
      found = found || (it->second.first == e.role && it->second.second == e.value);
    EXPECT_TRUE(found) << e.name << " with value «" << e.value.toStdString() << "»: got role "
                       << range.first->second.first << " value «"
                       << range.first->second.second.toStdString() << "»";
  }

  // The volume reads as loudness: the slider's scale is upside down.
  QAccessibleInterface* volume = QAccessible::queryAccessibleInterface(form.Slider1);
  QAccessibleValueInterface* value = volume->valueInterface();
  ASSERT_NE(value, nullptr);
  const std::pair<int, const char*> positions[] = {
      {0, "100 %"}, {16384, "75 %"}, {32768, "50 %"}, {65535, "0 %"}};
  for (const auto& [at, text] : positions) {
    form.Slider1->setValue(at);
    EXPECT_EQ(volume->text(QAccessible::Value), text);
  }
  EXPECT_EQ(value->maximumValue().toInt(), 100);
  // A value set by an assistive tool moves the slider as a user does, so
  // the mixer gets the same write.
  const size_t calls = mixer->calls.size();
  value->setCurrentValue(25);
  EXPECT_EQ(form.Slider1->value(), 49151);
  ASSERT_EQ(mixer->calls.size(), calls + 1);
  EXPECT_EQ(std::get<4>(mixer->calls.back()), 16384u);

  // Without a track the seek bar says so.
  form.MMControl1->Command("Eject");
  form.Timer1_Timer();
  EXPECT_EQ(QAccessible::queryAccessibleInterface(form.lblSlider)->text(QAccessible::Value),
            "Sin pista");
  form.close();
}

TEST(QtTranslation, QtsOwnTextsAreSpanish) {
  ASSERT_TRUE(velmar::installQtTranslation()) << "qtbase_es.qm (package qt6-translations-l10n)";
  QMessageBox box(QMessageBox::NoIcon, "Velmar", "No se pudo inicializar el control de volumen.",
                  QMessageBox::Ok);
  EXPECT_EQ(box.button(QMessageBox::Ok)->text().remove('&'), "Aceptar");
}
