#pragma once

#include <QString>
#include <cstdint>

// The display's texts. Same module as the track table, kept in its own file.
namespace modFunciones {

// Seconds as "mm:ss": minutes and seconds of at least two digits each;
// minutes are not capped (6000 s is "100:00"). A negative count shows "00:00".
QString FormatTime(int16_t seconds);

// The display caption for track `track` (0 when the position is in no track)
// and `elapsedMs` into it: "Pista <track> - mm:ss", the time truncated to
// whole seconds (1999 ms shows "00:01"). Elapsed times under one second and
// negative ones show "00:00"; counts of seconds beyond 16 bits keep counting
// minutes ("Pista 1 - 546:08" for 32768000 ms).
QString CaptionFor(int16_t track, int32_t elapsedMs);

}  // namespace modFunciones
