#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/frmVelmar.h"
#include "disc/MMControl.h"
#include "disc/VirtualCdDevice.h"
#include "support/ManualClock.h"
#include "volume/FakeMixer.h"
#include "volume/SliderInput.h"
#include "volume/modVolumen.h"

namespace {

using Call = FakeMixer::Call;

struct Message {
  QWidget* parent;
  bool parentVisible;
  QString caption;
  QString text;
};

class Volume : public ::testing::Test {
 protected:
  std::shared_ptr<FakeMixer::State> mixer = std::make_shared<FakeMixer::State>();
  std::vector<Message> messages;
  ManualClock clock;
  std::unique_ptr<frmVelmar> form;

  void SetUp() override {
    modVolumen::SetMixerApi(std::make_unique<FakeMixer>(mixer));
    modVolumen::SetPresenter([this](QWidget* parent, const QString& caption, const QString& text) {
      messages.push_back({parent, parent && parent->isVisible(), caption, text});
    });
  }
  void TearDown() override {
    form.reset();
    modVolumen::SetMixerApi(std::make_unique<FakeMixer>());
    modVolumen::SetPresenter([](QWidget*, const QString&, const QString&) {});
  }

  QSlider& load() {
    form = std::make_unique<frmVelmar>(
        std::make_unique<VirtualCdDevice>(threeTrackDisc(), clock.clock()));
    slider_input::designRange(*form->Slider1);
    return *form->Slider1;
  }
  void showAndActivate() {
    form->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->activated(); }, 2000));
  }
  // The set call a slider move at `sliderValue` should make on a working mixer.
  static Call setAt(int sliderValue) {
    return {"set",
            FakeMixer::kHandle,
            mixer::kSetDetailsValue,
            FakeMixer::kControlId,
            static_cast<uint32_t>(65535 - sliderValue),
            1};
  }
};

TEST_F(Volume, LoadOpensTheMixerAndLooksUpTheSpeakersVolumeOnceWithoutWriting) {
  QSlider& s = load();
  showAndActivate();
  s.setValue(30000);  // set from code, not by the user
  s.setRange(0, 65535);
  QTest::qWait(20);

  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(
      mixer->calls,
      (std::vector<Call>{
          {"open", 0, 0, 0},
          {"line", FakeMixer::kHandle, mixer::kLineInfoByComponentType, mixer::kComponentSpeakers},
          {"controls", FakeMixer::kHandle, mixer::kLineControlsOneByType, mixer::kControlVolume}}))
      << "no write at load, on show or when the value is set from code";
  EXPECT_EQ(modVolumen::MixerHandle, FakeMixer::kHandle);
  EXPECT_EQ(modVolumen::VolumeControl.controlId, FakeMixer::kControlId);
  EXPECT_EQ(modVolumen::LastMixerResult, mixer::kOk);
  EXPECT_EQ(mixer->volume, 32768u) << "the volume is never read back or reset";

  // A second load (a new window in the same run) does not leave the first
  // mixer open.
  form.reset();
  load();
  EXPECT_EQ(mixer->open, std::vector<mixer::Handle>{modVolumen::MixerHandle});
  modVolumen::Shutdown();
  EXPECT_TRUE(mixer->open.empty());
}

TEST_F(Volume, SliderEndsWriteTheInverseAndScrollMakesTheSameCallAsClick) {
  QSlider& s = load();
  s.setValue(0);
  form->Slider1_Click();
  s.setValue(65535);
  form->Slider1_Click();
  s.setValue(1234);
  form->Slider1_Click();
  form->Slider1_Scroll();
  EXPECT_EQ(mixer->named("set"),
            (std::vector<Call>{setAt(0), setAt(65535), setAt(1234), setAt(1234)}));
  EXPECT_EQ(mixer->writes().front(), 65535u) << "top of the slider is loudest";
  EXPECT_EQ(mixer->writes()[1], 0u) << "bottom of the slider is silent";
  EXPECT_EQ(mixer->volume, 65535u - 1234u);

  EXPECT_EQ(modVolumen::VolumeForSlider(0), 65535u);
  EXPECT_EQ(modVolumen::VolumeForSlider(65535), 0u);
  EXPECT_EQ(modVolumen::VolumeForSlider(70000), 0u) << "never wraps to a huge value";
  EXPECT_EQ(modVolumen::VolumeForSlider(-1), 65535u);
  EXPECT_EQ(modVolumen::VolumeForSlider(INT_MIN), 65535u);
}

TEST_F(Volume, EveryUserChangeOfTheSliderWritesItsNewValue) {
  QSlider& s = load();
  showAndActivate();
  namespace in = slider_input;
  // Each user gesture must write 65535 minus where the thumb ended up.
  const auto expectWrote = [&](const char* gesture) {
    SCOPED_TRACE(gesture);
    ASSERT_FALSE(mixer->named("set").empty()) << "no write";
    EXPECT_EQ(mixer->named("set").back(), setAt(s.value()));
    EXPECT_EQ(s.value(), s.sliderPosition());
    mixer->calls.clear();
  };

  in::key(s, Qt::Key_Down);
  EXPECT_EQ(s.value(), 500);
  expectWrote("arrow key");
  in::key(s, Qt::Key_PageDown);
  EXPECT_EQ(s.value(), 1500);
  expectWrote("page key");
  in::key(s, Qt::Key_End);
  EXPECT_EQ(s.value(), 65535);
  expectWrote("end key");
  in::key(s, Qt::Key_Home);
  EXPECT_EQ(s.value(), 0);
  expectWrote("home key");

  in::wheel(s, -1);
  EXPECT_NE(s.value(), 0);
  expectWrote("wheel");

  const int before = s.value();
  const QRect handle = in::handleRect(s);
  const QPoint farFromThumb(handle.center().x(), s.height() - 2);
  ASSERT_FALSE(handle.contains(farFromThumb));
  in::clickTrack(s, farFromThumb);
  EXPECT_GT(s.value(), before);
  expectWrote("click on the track");

  in::key(s, Qt::Key_Home);
  mixer->calls.clear();
  const int x = handle.center().x();
  in::drag(s, {{x, s.height() / 3}, {x, s.height() / 2}, {x, s.height() - 1}});
  EXPECT_EQ(s.value(), 65535);
  EXPECT_GE(mixer->named("set").size(), 3u) << "writes follow the thumb while it is dragged";
  expectWrote("drag");

  // A move that changes nothing (already at the bottom) writes the same
  // value again, which is harmless.
  in::key(s, Qt::Key_End);
  EXPECT_EQ(mixer->volume, 0u);
  EXPECT_TRUE(messages.empty());
}

// Each way the mixer can fail: what the user sees at load and what later
// slider moves do. Nothing but the failed open is ever reported, and the
// window keeps working.
TEST_F(Volume, MixerFailuresAreReportedOnlyWhenTheOpenFails) {
  struct Case {
    const char* failing;
    mixer::Result code;
    bool message;
    uint32_t controlId;        // the volume control found at load
    mixer::Handle setHandle;   // where later writes go
    mixer::Result lastResult;  // after a slider move
  };
  const Case cases[] = {
      {"open", mixer::kNoDriver, true, 0, 0, mixer::kInvalidHandle},
      {"line", mixer::kInvalidLine, false, 0, FakeMixer::kHandle, mixer::kInvalidControl},
      {"controls", mixer::kInvalidControl, false, 0, FakeMixer::kHandle, mixer::kInvalidControl},
      {"set", mixer::kError, false, FakeMixer::kControlId, FakeMixer::kHandle, mixer::kError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failing);
    TearDown();
    messages.clear();
    mixer = std::make_shared<FakeMixer::State>();
    mixer->fail[c.failing] = c.code;
    SetUp();

    QSlider& s = load();
    ASSERT_EQ(messages.size(), c.message ? 1u : 0u);
    if (c.message) {
      EXPECT_EQ(messages[0].caption, "Velmar");
      EXPECT_EQ(messages[0].text, "No se pudo inicializar el control de volumen.");
      EXPECT_EQ(messages[0].parent, form.get());
      EXPECT_FALSE(messages[0].parentVisible) << "the message comes before the window";
      EXPECT_EQ(modVolumen::LastMixerResult, c.code);
      EXPECT_EQ(mixer->calls.size(), 1u) << "no lookup on a mixer that did not open";
    }
    EXPECT_EQ(modVolumen::VolumeControl.controlId, c.controlId);

    showAndActivate();
    EXPECT_EQ(form->List1->count(), 3) << "the window works without volume control";
    slider_input::key(s, Qt::Key_PageDown);
    slider_input::key(s, Qt::Key_End);
    EXPECT_EQ(s.value(), 65535) << "the slider keeps the user's position";
    const auto sets = mixer->named("set");
    ASSERT_EQ(sets.size(), 2u) << "every move still tries the mixer";
    EXPECT_EQ(sets.back().handle, c.setHandle);
    EXPECT_EQ(sets.back().arg, c.controlId);
    EXPECT_EQ(sets.back().value, 0u);
    EXPECT_EQ(modVolumen::LastMixerResult, c.lastResult);
    EXPECT_EQ(messages.size(), c.message ? 1u : 0u) << "failed writes are never reported";
    form->close();
    EXPECT_TRUE(form->unloaded());
  }
}

TEST_F(Volume, TheDefaultMessageBoxHasTheCaptionAndOnlyAnOkButton) {
  modVolumen::SetPresenter({});  // the program's own box
  mixer->fail["open"] = mixer::kNoDriver;
  struct Seen {
    int boxes = 0;
    QString title, text;
    QStringList buttons;
    bool windowVisible = true;
  } seen;
  // Answers each box as a user would, after looking at it. The timers die
  // with `guard`.
  QObject guard;
  std::function<void()> answer = [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) {
      QTimer::singleShot(10, &guard, answer);
      return;
    }
    ++seen.boxes;
    seen.title = box->windowTitle();
    seen.text = box->text();
    for (QAbstractButton* b : box->buttons()) seen.buttons << b->text();
    seen.windowVisible = false;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (qobject_cast<frmVelmar*>(w) && w->isVisible()) seen.windowVisible = true;
    box->button(QMessageBox::Ok)->click();
  };
  QTimer::singleShot(0, &guard, answer);
  load();
  EXPECT_EQ(seen.boxes, 1);
  EXPECT_EQ(seen.title, "Velmar");
  EXPECT_EQ(seen.text, "No se pudo inicializar el control de volumen.");
  EXPECT_EQ(seen.buttons.size(), 1) << seen.buttons.join(',').toStdString();
  EXPECT_FALSE(seen.windowVisible);
  showAndActivate();
  slider_input::key(*form->Slider1, Qt::Key_End);
  QTest::qWait(50);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "no second box";
  EXPECT_EQ(seen.boxes, 1);
}

TEST_F(Volume, LookupFailureLeavesTheCallersRecordUntouched) {
  load();
  mixer::Control record{42, 1, 2, 3, "kept"};
  mixer->fail["controls"] = mixer::kInvalidControl;
  EXPECT_FALSE(modVolumen::GetVolumeControl(modVolumen::MixerHandle, mixer::kComponentSpeakers,
                                            mixer::kControlVolume, record));
  EXPECT_EQ(record.controlId, 42u);
  EXPECT_EQ(record.name, "kept");
  mixer->fail.clear();
  EXPECT_FALSE(
      modVolumen::GetVolumeControl(modVolumen::MixerHandle, 99, mixer::kControlVolume, record))
      << "no such line";
  EXPECT_TRUE(modVolumen::GetVolumeControl(modVolumen::MixerHandle, mixer::kComponentSpeakers,
                                           mixer::kControlVolume, record));
  EXPECT_EQ(record.controlId, FakeMixer::kControlId);

  EXPECT_TRUE(modVolumen::SetVolumeControl(modVolumen::MixerHandle, record, 100));
  EXPECT_EQ(modVolumen::LastMixerResult, mixer::kOk);
  EXPECT_FALSE(modVolumen::SetVolumeControl(modVolumen::MixerHandle, record, 65536));
  EXPECT_EQ(modVolumen::LastMixerResult, mixer::kInvalidValue);
  EXPECT_EQ(mixer->volume, 100u);
}

}  // namespace
