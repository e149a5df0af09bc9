#include "volume/AlsaMixer.h"

#include "disc/AlsaQuiet.h"

#include <alsa/asoundlib.h>

#include <cmath>
#include <string_view>

namespace {

struct SelemIdDeleter {
  void operator()(snd_mixer_selem_id_t* id) const { snd_mixer_selem_id_free(id); }
};
using SelemId = std::unique_ptr<snd_mixer_selem_id_t, SelemIdDeleter>;

bool hasPlaybackVolume(snd_mixer_elem_t* elem) {
  return snd_mixer_selem_is_active(elem) && snd_mixer_selem_has_playback_volume(elem);
}

// The element that stands for the speakers: "Master" with a playback volume,
// else the first element with one. nullptr when the mixer has none.
snd_mixer_elem_t* speakersElement(snd_mixer_t* m) {
  for (snd_mixer_elem_t* e = snd_mixer_first_elem(m); e; e = snd_mixer_elem_next(e))
    if (hasPlaybackVolume(e) && std::string_view(snd_mixer_selem_get_name(e)) == "Master") return e;
  for (snd_mixer_elem_t* e = snd_mixer_first_elem(m); e; e = snd_mixer_elem_next(e))
    if (hasPlaybackVolume(e)) return e;
  return nullptr;
}

}  // namespace

void AlsaMixer::MixerCloser::operator()(_snd_mixer* m) const {
  snd_mixer_close(m);
}

// ALSA prints its complaints (no card, no server) on standard error; the
// program reports mixer failures through result codes only.
AlsaMixer::AlsaMixer() {
  quietAlsa();
}

AlsaMixer::~AlsaMixer() = default;

AlsaMixer::Open* AlsaMixer::find(mixer::Handle handle) {
  const auto it = open_.find(handle);
  return it == open_.end() ? nullptr : &it->second;
}

mixer::Result AlsaMixer::open(mixer::Handle& handle, uint32_t device) {
  if (device != 0) return mixer::kBadDeviceId;
  snd_mixer_t* raw = nullptr;
  if (snd_mixer_open(&raw, 0) < 0 || !raw) return mixer::kNoMem;
  std::unique_ptr<_snd_mixer, MixerCloser> m(raw);
  // Attaching is what fails without a card or a reachable sound server.
  if (snd_mixer_attach(m.get(), "default") < 0) return mixer::kNoDriver;
  if (snd_mixer_selem_register(m.get(), nullptr, nullptr) < 0) return mixer::kError;
  if (snd_mixer_load(m.get()) < 0) return mixer::kError;
  handle = nextHandle_++;
  open_[handle].mixer = std::move(m);
  return mixer::kOk;
}

uint32_t AlsaMixer::idFor(std::map<uint32_t, Element>& ids, const Element& e, uint32_t& nextId) {
  for (const auto& [id, known] : ids)
    if (known.name == e.name && known.index == e.index) return id;
  ids[nextId] = e;
  return nextId++;
}

mixer::Result AlsaMixer::getLineInfo(mixer::Handle handle, mixer::Line& line, uint32_t flags) {
  Open* o = find(handle);
  if (!o) return mixer::kInvalidHandle;
  if (flags != mixer::kLineInfoByComponentType) return mixer::kInvalidFlag;
  if (line.componentType != mixer::kComponentSpeakers) return mixer::kInvalidLine;
  snd_mixer_handle_events(o->mixer.get());
  snd_mixer_elem_t* elem = speakersElement(o->mixer.get());
  if (!elem) return mixer::kInvalidLine;
  const Element e{snd_mixer_selem_get_name(elem), snd_mixer_selem_get_index(elem)};
  line.lineId = idFor(o->lines, e, o->nextId);
  return mixer::kOk;
}

mixer::Result AlsaMixer::getLineControls(mixer::Handle handle, mixer::LineControls& request,
                                         uint32_t flags) {
  Open* o = find(handle);
  if (!o) return mixer::kInvalidHandle;
  if (flags != mixer::kLineControlsOneByType) return mixer::kInvalidFlag;
  if (request.controls.empty()) return mixer::kInvalidParam;
  const auto line = o->lines.find(request.lineId);
  if (line == o->lines.end()) return mixer::kInvalidLine;
  if (request.controlType != mixer::kControlVolume) return mixer::kInvalidControl;
  request.controls.front().controlId = idFor(o->controls, line->second, o->nextId);
  return mixer::kOk;
}

mixer::Result AlsaMixer::setControlDetails(mixer::Handle handle,
                                           const mixer::ControlDetails& details, uint32_t flags) {
  Open* o = find(handle);
  if (!o) return mixer::kInvalidHandle;
  if (flags != mixer::kSetDetailsValue) return mixer::kInvalidFlag;
  if (details.channels != 1 || details.multipleItems != 0) return mixer::kInvalidParam;
  const auto control = o->controls.find(details.controlId);
  if (control == o->controls.end()) return mixer::kInvalidControl;
  if (details.value > mixer::kVolumeMax) return mixer::kInvalidValue;

  // Take in changes made meanwhile (elements gone with a restarted server).
  snd_mixer_handle_events(o->mixer.get());
  snd_mixer_selem_id_t* rawId = nullptr;
  if (snd_mixer_selem_id_malloc(&rawId) < 0) return mixer::kNoMem;
  const SelemId id(rawId);
  snd_mixer_selem_id_set_name(id.get(), control->second.name.c_str());
  snd_mixer_selem_id_set_index(id.get(), control->second.index);
  snd_mixer_elem_t* elem = snd_mixer_find_selem(o->mixer.get(), id.get());
  if (!elem || !hasPlaybackVolume(elem)) return mixer::kInvalidControl;

  long lo = 0, hi = 0;
  if (snd_mixer_selem_get_playback_volume_range(elem, &lo, &hi) < 0 || hi < lo)
    return mixer::kError;
  const double span = static_cast<double>(hi) - static_cast<double>(lo);
  const long target =
      lo + std::lrint(static_cast<double>(details.value) * span / mixer::kVolumeMax);
  if (snd_mixer_selem_set_playback_volume_all(elem, target) < 0) return mixer::kError;
  return mixer::kOk;
}

mixer::Result AlsaMixer::close(mixer::Handle handle) {
  return open_.erase(handle) ? mixer::kOk : mixer::kInvalidHandle;
}
