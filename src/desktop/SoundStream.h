#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// The program's sound stream as the sound server shows it: named "Velmar",
// with the application's icon and the music role, whichever ALSA plug-in
// carries it.
// - libpulse, which the ALSA "pulse" plug-in uses, reads extra stream
//   properties from PULSE_PROP (added where the stream sets none) and
//   PULSE_PROP_OVERRIDE (wins over what the plug-in sets, such as its own
//   "ALSA plug-in [velmar]" name).
// - PipeWire's own ALSA plug-in ("pipewire", the default device where
//   pipewire-alsa is installed) reads PIPEWIRE_ALSA: SPA JSON, an object or
//   bare key=value pairs, applied over its "PipeWire ALSA [velmar]" and
//   "ALSA Playback" names, its PCM's role argument and the alsa.properties
//   and alsa.rules of its client configuration; a later key wins.
//   PIPEWIRE_PROPS, read by libpipewire for the stream itself, wins over
//   all of it.
namespace desktop {

using Property = std::pair<std::string, std::string>;

// What the program adds to PULSE_PROP, to PULSE_PROP_OVERRIDE and to
// PIPEWIRE_ALSA.
std::vector<Property> streamProperties();
std::vector<Property> streamOverrides();
std::vector<Property> pipewireProperties();

// Sets PULSE_PROP, PULSE_PROP_OVERRIDE and PIPEWIRE_ALSA in the process
// environment, merged with what the user set there: a key the user set
// (in either PULSE_PROP variable; in PIPEWIRE_ALSA) keeps the user's value.
// Call at the start of main(), before any thread runs and before ALSA opens
// a PCM.
void nameSoundStream();

// The keys of a property list written as libpulse reads it: key=value pairs
// separated by blanks, values bare, 'single' or "double" quoted (a
// backslash escapes the next character) or hex:ABCD. nullopt when libpulse
// would refuse the text (and so ignore the whole variable).
std::optional<std::vector<std::string>> proplistKeys(const std::string& text);

// `text` with each of `additions` appended whose key is not in `taken` nor
// in `text`. A text libpulse would refuse is returned unchanged.
std::string mergedProplist(const std::string& text, const std::vector<Property>& additions,
                           const std::vector<std::string>& taken = {});

// `user` (PIPEWIRE_ALSA as the user set it) with `ours` before the user's
// own keys, inside the user's braces if there are any, so that the user's
// value of a key wins: the plug-in lets a later key win.
std::string pipewireProplist(const std::string& user, const std::vector<Property>& ours);

}  // namespace desktop
