#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/frmVelmar.h"
#include "disc/VirtualCdDevice.h"
#include "support/ManualClock.h"
#include "volume/FakeMixer.h"
#include "volume/SliderInput.h"
#include "volume/modVolumen.h"

namespace {

using Call = FakeMixer::Call;

class Volume : public ::testing::Test {
 protected:
  std::shared_ptr<FakeMixer::State> mixer = std::make_shared<FakeMixer::State>();
  QStringList messages;  // "caption|text|window visible"
  ManualClock clock;
  std::unique_ptr<frmVelmar> form;

  void SetUp() override {
    modVolumen::SetMixerApi(std::make_unique<FakeMixer>(mixer));
    modVolumen::SetPresenter([this](QWidget* parent, const QString& caption, const QString& text) {
      messages << caption + '|' + text + '|' + (parent->isVisible() ? "shown" : "hidden");
    });
  }
  void TearDown() override { form.reset(); }

  QSlider& load() {
    form = std::make_unique<frmVelmar>(
        std::make_unique<VirtualCdDevice>(threeTrackDisc(), clock.clock()));
    slider_input::designRange(*form->Slider1);
    return *form->Slider1;
  }
  void show() {
    form->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->activated(); }, 2000));
  }
  // The write a user move to `sliderValue` makes on a working mixer.
  static Call setAt(int sliderValue) {
    return {"set", FakeMixer::kHandle, 0, FakeMixer::kControlId, 65535u - sliderValue};
  }
};

TEST_F(Volume, LoadFindsTheSpeakersVolumeAndWritesOnlyWhenTheUserMovesTheSlider) {
  QSlider& s = load();
  show();
  s.setValue(30000);  // from code, as at load: no write
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(mixer->calls, (std::vector<Call>{{"open", 0, 0, 0},
                                             {"line", 7, 3, mixer::kComponentSpeakers},
                                             {"controls", 7, 2, mixer::kControlVolume}}));
  EXPECT_EQ(modVolumen::VolumeControl.controlId, FakeMixer::kControlId);

  // Top (0) is loudest, bottom (65535) silent; a scroll is a click.
  for (int v : {0, 65535, 1234}) {
    s.setValue(v);
    form->Slider1_Click();
    form->Slider1_Scroll();
  }
  EXPECT_EQ(mixer->sets(), (std::vector<Call>{setAt(0), setAt(0), setAt(65535), setAt(65535),
                                              setAt(1234), setAt(1234)}));
  EXPECT_EQ(modVolumen::VolumeForSlider(70000), 0u) << "never wraps round";
  EXPECT_EQ(modVolumen::VolumeForSlider(INT_MIN), 65535u);

  // Every kind of user move writes 65535 minus where the thumb ended up
  // (whichever way the window's slider is turned).
  const auto move = [&](const char* gesture, const std::function<void()>& act) {
    s.setValue(32768);
    mixer->calls.clear();
    act();
    EXPECT_NE(s.value(), 32768) << gesture;
    ASSERT_FALSE(mixer->sets().empty()) << gesture;
    EXPECT_EQ(mixer->sets().back(), setAt(s.value())) << gesture;
  };
  move("arrow key", [&] { QTest::keyClick(&s, Qt::Key_Down); });
  move("page key", [&] { QTest::keyClick(&s, Qt::Key_PageUp); });
  move("end key", [&] { QTest::keyClick(&s, Qt::Key_End); });
  EXPECT_EQ(mixer->sets().back(), setAt(65535));
  move("wheel", [&] { slider_input::wheel(s, 1); });
  const int x = slider_input::thumb(s).center().x();
  move("click on the track", [&] { slider_input::drag(s, {x, 1}, {}); });
  move("drag", [&] {
    slider_input::drag(s, slider_input::thumb(s).center(), {{x, 1}, {x, s.height() / 3}});
  });
  EXPECT_EQ(mixer->sets().size(), 3u) << "writes follow the thumb: press, two moves";
}

// Only a mixer that does not open is reported; any failure leaves the window
// working and later moves trying the mixer, silently.
TEST_F(Volume, MixerFailuresAreSilentExceptTheOpen) {
  struct Case {
    const char* failing;
    mixer::Result code;
    uint32_t controlId;      // found at load
    mixer::Result afterSet;  // LastMixerResult after a move
  };
  for (const Case c : {Case{"open", mixer::kNoDriver, 0, mixer::kInvalidHandle},
                       Case{"line", mixer::kInvalidLine, 0, mixer::kInvalidControl},
                       Case{"controls", mixer::kInvalidControl, 0, mixer::kInvalidControl},
                       Case{"set", mixer::kError, FakeMixer::kControlId, mixer::kError}}) {
    SCOPED_TRACE(c.failing);
    messages.clear();
    mixer->calls.clear();
    mixer->fail = {{c.failing, c.code}};
    QSlider& s = load();
    const QStringList expected{"Velmar|No se pudo inicializar el control de volumen.|hidden"};
    EXPECT_EQ(messages, c.failing == std::string("open") ? expected : QStringList());
    EXPECT_EQ(modVolumen::VolumeControl.controlId, c.controlId);
    show();
    EXPECT_EQ(form->List1->count(), 3) << "the window works";
    QTest::keyClick(&s, Qt::Key_End);
    EXPECT_EQ(s.value(), 65535) << "the slider keeps the user's position";
    ASSERT_EQ(mixer->sets().size(), 1u);
    EXPECT_EQ(mixer->sets()[0].arg, c.controlId);
    EXPECT_EQ(modVolumen::LastMixerResult, c.afterSet);
    EXPECT_LE(messages.size(), 1);
  }
}

TEST_F(Volume, TheMessageBoxHasTheCaptionAndOnlyAnOkButton) {
  modVolumen::SetPresenter({});  // the program's own box
  mixer->fail = {{"open", mixer::kNoDriver}};
  QStringList seen;
  QObject guard;  // stops the polling with the test
  std::function<void()> answer = [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return QTimer::singleShot(10, &guard, answer);
    seen << box->windowTitle() << box->text() << QString::number(box->buttons().size());
    box->button(QMessageBox::Ok)->click();
  };
  QTimer::singleShot(0, &guard, answer);
  load();
  EXPECT_EQ(seen, (QStringList{"Velmar", "No se pudo inicializar el control de volumen.", "1"}));
}

}  // namespace
