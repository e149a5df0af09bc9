#pragma once

#include "sources/SectorSource.h"

// An Enhanced CD holds its audio in the first session and its data in a
// later one; between them lie the first session's lead-out, the second's
// lead-in and its pregap (kSessionGapSectors), which hold no audio. A table
// of contents counts that gap in the last audio track of the first session;
// this ends every track that is followed by a track of a later session where
// its audio ends: at most kSessionGapSectors before the next session's
// first track. Tracks shorter than that gap are left as they are.
void trimSessionGaps(DiscToc& toc);
