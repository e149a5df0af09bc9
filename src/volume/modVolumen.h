#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "volume/Mixer.h"

class QWidget;

// The speakers' master volume, set from the window's volume slider.
//
// At load the default mixer is opened and the volume control of its
// speakers' line is looked up once; from then on every user change of the
// slider writes 65535 minus the slider's value into that control (slider
// top, 0: loudest; bottom, 65535: silent). The volume is never read back.
// When the mixer cannot be opened the user is told once, and later writes go
// to the zero handle and fail silently.
namespace modVolumen {

// The open mixer, 0 when none.
extern mixer::Handle MixerHandle;
// The speakers' volume control; all zero until a lookup succeeds.
extern mixer::Control VolumeControl;
// Result of the last open or set call, 0 on success. (A write through the
// default layer reports whether it was accepted; it reaches the mixer later,
// see AsyncMixer.)
extern mixer::Result LastMixerResult;

inline const QString kCaption = QStringLiteral("Velmar");
inline const QString kNoMixerMessage =
    QStringLiteral("No se pudo inicializar el control de volumen.");

// Looks up the control of type `controlType` on the line of component type
// `componentType` and fills `control`; false (and `control` untouched) when
// either lookup fails.
bool GetVolumeControl(mixer::Handle hmixer, uint32_t componentType, uint32_t controlType,
                      mixer::Control& control);
// Writes `value` (0 to 65535) into `control`, the same on every channel;
// records the result in LastMixerResult and returns true when it is 0.
bool SetVolumeControl(mixer::Handle hmixer, const mixer::Control& control, uint32_t value);

// The value written for a slider position: 65535 - `sliderValue`, kept
// within 0 to 65535.
uint32_t VolumeForSlider(int sliderValue);

// The volume start-up run at load; `parent` is the window being loaded (not
// yet shown). Closes a mixer left open by an earlier load first.
void Startup(QWidget* parent);
// Closes the mixer, if open. Runs when the application quits; the mixer
// layer also closes whatever is still open when the process ends.
void Shutdown();

// Shows the one message box: `text` with `caption` and an OK button only.
// The default is a modal box; tests install one that does not block.
using Presenter = std::function<void(QWidget* parent, const QString& caption, const QString& text)>;
// Installs `presenter` (an empty one restores the default) and returns the
// one it replaces.
Presenter SetPresenter(Presenter presenter);

// The mixer layer in use: unless another was installed, ALSA's, run on a
// thread of its own (AsyncMixer) so that a stalled or restarted sound server
// never holds the window: the open at load waits at most a second, a write
// returns at once, and a mixer lost with its server is opened again by the
// next write.
mixer::Api& MixerApi();
// Installs `api` (nullptr restores ALSA's) after closing the open mixer, and
// returns the layer it replaces.
std::unique_ptr<mixer::Api> SetMixerApi(std::unique_ptr<mixer::Api> api);

}  // namespace modVolumen
