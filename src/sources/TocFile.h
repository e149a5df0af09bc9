#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sources/DiscLayout.h"

// cdrdao's TOC files, read as a rip (see DiscLayout.h): the header (CATALOG,
// the session type, the album's CD_TEXT), then one track per TRACK with its
// flags (PRE_EMPHASIS, and COPY, the channel count and ISRC, which a player
// does not need), its CD_TEXT and what it holds: FILE/AUDIOFILE stretches
// (a start and a length in samples or M:S:F, an optional #byte offset),
// SILENCE, ZERO, DATAFILE, PREGAP, START and INDEX. `//` starts a comment.
//
// Audio files named *.wav are WAVE files (decoded, never their header as
// audio); every other is raw 16-bit stereo, big-endian. Names are relative to
// the TOC's folder. Data tracks are silence of their length; a data track
// after audio tracks starts an Enhanced CD's data session. Of the CD-Text, the
// title and performer of the first language the LANGUAGE_MAP maps (language 0
// when there is no map) are kept; binary items (SIZE_INFO, TOC_INFO1...) are
// read past.

inline constexpr size_t kMaxTocFileBytes = size_t{1} << 20;

// Reads the TOC `bytes`, named `name` in messages. Null with the reason in
// Spanish in `*reason` («disco.toc», línea 7: ...) when it is malformed or
// names what a player cannot read (standard input, a FIFO, sub-channel data
// between the audio).
std::optional<RipDescription> parseTocFile(std::string_view bytes, const std::string& name,
                                           std::string* reason);

// Reads the TOC at `path` (a regular file of at most kMaxTocFileBytes).
std::optional<RipDescription> readTocFile(const std::string& path, std::string* reason);
