#pragma once

#include <map>
#include <memory>
#include <string>

#include "volume/Mixer.h"

struct _snd_mixer;

// The mixer calls over ALSA's simple mixer interface.
//
// Mixer 0 is ALSA's "default" control device (under PulseAudio or PipeWire,
// the default output's volume). The speakers' line is the simple element
// "Master" when it has a playback volume, else the first element that has
// one ("PCM", "Speaker", ...); its volume control is that playback volume.
// Written values 0 to 65535 map linearly onto the element's own range, the
// same on every channel (rounded to the nearest step, halves to even).
//
// ALSA's own error printing is silenced for the whole process when the first
// AlsaMixer is made. Mixers still open when the object is destroyed are
// closed then.
class AlsaMixer final : public mixer::Api {
 public:
  AlsaMixer();
  ~AlsaMixer() override;
  AlsaMixer(const AlsaMixer&) = delete;
  AlsaMixer& operator=(const AlsaMixer&) = delete;

  mixer::Result open(mixer::Handle& handle, uint32_t device) override;
  mixer::Result getLineInfo(mixer::Handle handle, mixer::Line& line, uint32_t flags) override;
  mixer::Result getLineControls(mixer::Handle handle, mixer::LineControls& request,
                                uint32_t flags) override;
  mixer::Result setControlDetails(mixer::Handle handle, const mixer::ControlDetails& details,
                                  uint32_t flags) override;
  mixer::Result close(mixer::Handle handle) override;

 private:
  struct MixerCloser {
    void operator()(_snd_mixer* m) const;
  };
  // A simple element, by the name and index ALSA knows it by.
  struct Element {
    std::string name;
    unsigned index = 0;
  };
  struct Open {
    std::unique_ptr<_snd_mixer, MixerCloser> mixer;
    // Line and control identifiers handed out on this mixer, each naming
    // an element (the speakers' line has one control, its volume).
    std::map<uint32_t, Element> lines;
    std::map<uint32_t, Element> controls;
    uint32_t nextId = 1;
  };

  Open* find(mixer::Handle handle);
  // The identifier `ids` holds for `e`, handing out a new one from `nextId`
  // the first time.
  static uint32_t idFor(std::map<uint32_t, Element>& ids, const Element& e, uint32_t& nextId);

  std::map<mixer::Handle, Open> open_;
  mixer::Handle nextHandle_ = 1;
};
