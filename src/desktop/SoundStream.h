#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// The program's sound stream as PulseAudio (and PipeWire's Pulse server)
// show it: named "Velmar", with the application's icon and the music role.
// libpulse, which the ALSA "pulse" plug-in uses, reads extra stream
// properties from PULSE_PROP (added where the stream sets none) and
// PULSE_PROP_OVERRIDE (wins over what the plug-in sets, such as its own
// "ALSA plug-in [velmar]" name).
namespace desktop {

using Property = std::pair<std::string, std::string>;

// What the program adds to PULSE_PROP and to PULSE_PROP_OVERRIDE.
std::vector<Property> streamProperties();
std::vector<Property> streamOverrides();

// Sets PULSE_PROP and PULSE_PROP_OVERRIDE in the process environment,
// merged with what the user set there: a key the user set in either keeps
// the user's value. Call at the start of main(), before any thread runs and
// before ALSA opens a PCM.
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

}  // namespace desktop
