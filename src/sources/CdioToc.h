#pragma once

#include <cdio/cdio.h>

#include <string>

#include "sources/SectorSource.h"

// The last sector a table of contents may name: 99:59:74 on the disc, as LSN.
inline constexpr int32_t kMaxLeadOutLsn = sectorsOfMsf(99, 59, 74) - kLeadInSectors;
inline constexpr int kMaxTracks = 99;

// Reads the table of contents of an open disc or image: every track's start,
// length, kind, pre-emphasis flag and session, the lead-out, and the CD-Text
// of the album and of each track (title and performer, UTF-8). Tracks from a
// later session than the first start at or after the last session's start
// (libcdio gives no more); the last track before a session gap loses the gap
// (kSessionGapSectors) from its length. A table libcdio cannot give at all
// has no tracks; one it gives is returned as it is, absurd or not (see
// tocProblem).
DiscToc readCdioToc(CdIo_t* cdio);

// Numbers the tracks at or after `lastSessionLsn` (the start of the disc's
// last session, as libcdio gives it) as session 2, and takes the session gap
// from the length of the track just before them. A last session that starts
// at the first track leaves the table as it is.
void applySessions(DiscToc& toc, int32_t lastSessionLsn);

// What makes `toc` impossible on a CD, in Spanish (more than 99 tracks,
// tracks out of order or past 99:59:74, an empty track); empty when it is
// plausible. A table without tracks is plausible (no disc).
std::string tocProblem(const DiscToc& toc);
