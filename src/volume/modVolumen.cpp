#include "volume/modVolumen.h"

#include <QAbstractSlider>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QSocketNotifier>
#include <algorithm>
#include <array>

#include "app/Signals.h"
#include "app/frmVelmar.h"
#include "volume/AlsaMixer.h"
#include "volume/AsyncMixer.h"

namespace modVolumen {

mixer::Handle MixerHandle = 0;
mixer::Control VolumeControl;
mixer::Result LastMixerResult = 0;

namespace {

void showMessageBox(QWidget*, const QString& caption, const QString& text) {
  // No parent: the window is not on screen yet, so the box stands alone,
  // centred, before it.
  // Its text and a plain "Aceptar": the widget style's icon on the button
  // goes.
  QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
  box.button(QMessageBox::Ok)->setIcon(QIcon());
  // A SIGTERM or SIGINT while the box waits dismisses it (the byte stays in
  // the pipe: the window, once loaded, closes on it).
  std::unique_ptr<QSocketNotifier> signal;
  if (const int fd = velmar::terminationSignalFd(); fd >= 0) {
    signal = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(signal.get(), &QSocketNotifier::activated, &box, [&] {
      signal->setEnabled(false);
      box.reject();
    });
  }
  box.exec();
}

Presenter& presenterSlot() {
  static Presenter presenter = showMessageBox;
  return presenter;
}

// Owns the mixer layer for the whole run; destroying it at exit closes any
// mixer still open (on the layer's own thread for ALSA, see AsyncMixer).
std::unique_ptr<mixer::Api>& apiSlot() {
  static std::unique_ptr<mixer::Api> api;
  return api;
}

}  // namespace

mixer::Api& MixerApi() {
  auto& api = apiSlot();
  if (!api) api = std::make_unique<AsyncMixer>([] { return std::make_unique<AlsaMixer>(); });
  return *api;
}

std::unique_ptr<mixer::Api> SetMixerApi(std::unique_ptr<mixer::Api> api) {
  Shutdown();
  std::unique_ptr<mixer::Api> previous = std::move(apiSlot());
  apiSlot() = std::move(api);
  return previous;
}

Presenter SetPresenter(Presenter presenter) {
  Presenter previous = std::move(presenterSlot());
  presenterSlot() = presenter ? std::move(presenter) : Presenter(showMessageBox);
  return previous;
}

bool GetVolumeControl(mixer::Handle hmixer, uint32_t componentType, uint32_t controlType,
                      mixer::Control& control) {
  mixer::Line line;
  line.componentType = componentType;
  if (MixerApi().getLineInfo(hmixer, line, mixer::kLineInfoByComponentType) != mixer::kOk)
    return false;

  std::array<mixer::Control, 1> buffer{};
  mixer::LineControls request;
  request.lineId = line.lineId;
  request.controlType = controlType;
  request.controls = buffer;
  if (MixerApi().getLineControls(hmixer, request, mixer::kLineControlsOneByType) != mixer::kOk)
    return false;
  control = buffer.front();
  return true;
}

bool SetVolumeControl(mixer::Handle hmixer, const mixer::Control& control, uint32_t value) {
  mixer::ControlDetails details;
  details.controlId = control.controlId;
  details.channels = 1;
  details.multipleItems = 0;
  details.value = value;
  LastMixerResult = MixerApi().setControlDetails(hmixer, details, mixer::kSetDetailsValue);
  return LastMixerResult == mixer::kOk;
}

uint32_t VolumeForSlider(int sliderValue) {
  const int64_t v = int64_t{mixer::kVolumeMax} - sliderValue;
  return static_cast<uint32_t>(std::clamp<int64_t>(v, 0, mixer::kVolumeMax));
}

void Startup(QWidget* parent) {
  Shutdown();
  VolumeControl = {};
  mixer::Handle handle = 0;
  LastMixerResult = MixerApi().open(handle, 0);
  if (LastMixerResult != mixer::kOk) {
    presenterSlot()(parent, kCaption, kNoMixerMessage);
    return;
  }
  MixerHandle = handle;
  GetVolumeControl(MixerHandle, mixer::kComponentSpeakers, mixer::kControlVolume, VolumeControl);

  static bool closesOnQuit = false;
  if (!closesOnQuit && QCoreApplication::instance()) {
    closesOnQuit = true;
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &Shutdown);
  }
}

void Shutdown() {
  if (MixerHandle != 0 && apiSlot()) apiSlot()->close(MixerHandle);
  MixerHandle = 0;
}

}  // namespace modVolumen

void frmVelmar::wireVolume() {
  // Every user change goes through an action: drag, click on the track or
  // the thumb, keys, wheel. Setting the value from code does not, so the
  // thumb's position at load writes nothing.
  connect(Slider1, &QAbstractSlider::actionTriggered, this, [this](int action) {
    if (action != QAbstractSlider::SliderNoAction) Slider1_Scroll();
  });
  connect(Slider1, &QAbstractSlider::sliderReleased, this, &frmVelmar::Slider1_Click);
}

void frmVelmar::Slider1_Click() {
  // The thumb's position: during an action it is already where the user put
  // it while the value follows only after the action is announced.
  const uint32_t value = modVolumen::VolumeForSlider(Slider1->sliderPosition());
  modVolumen::SetVolumeControl(modVolumen::MixerHandle, modVolumen::VolumeControl, value);
}

void frmVelmar::Slider1_Scroll() {
  Slider1_Click();
}
