#include "sources/CdioToc.h"

#include <cdio/cdio.h>
#include <cdio/cdtext.h>

#include <algorithm>
#include <climits>

#include "sources/TocRules.h"

namespace {

// CD-Text fields hold at most a few pack lengths of text; anything longer is
// not CD-Text and is cut (on a UTF-8 character boundary).
constexpr size_t kMaxTextBytes = 256;

std::string textField(const cdtext_t* text, cdtext_field_t field, track_t track) {
  if (!text) return {};
  const char* value = cdtext_get_const(text, field, track);
  if (!value) return {};
  std::string s(value);
  if (s.size() > kMaxTextBytes) {
    size_t cut = kMaxTextBytes;
    while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
    s.resize(cut);
  }
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  return s;
}

CdText cdText(const cdtext_t* text, track_t track) {
  return {textField(text, CDTEXT_FIELD_TITLE, track),
          textField(text, CDTEXT_FIELD_PERFORMER, track)};
}

}  // namespace

DiscToc readCdioToc(CdIo_t* p) {
  const track_t first = cdio_get_first_track_num(p);
  const track_t count = cdio_get_num_tracks(p);
  if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0) return {};
  const lsn_t leadOut = cdio_get_track_lsn(p, CDIO_CDROM_LEADOUT_TRACK);
  if (leadOut == CDIO_INVALID_LSN) return {};

  DiscToc toc;
  toc.leadOutLsn = leadOut;
  for (int i = 0; i < count; ++i) {
    const auto t = static_cast<track_t>(first + i);
    const lsn_t lsn = cdio_get_track_lsn(p, t);
    const lsn_t next = i + 1 < count ? cdio_get_track_lsn(p, static_cast<track_t>(t + 1)) : leadOut;
    if (lsn == CDIO_INVALID_LSN || next == CDIO_INVALID_LSN) return {};
    DiscTrack track;
    track.lsn = lsn;
    // tocProblem() refuses what is not positive; absurd values must not
    // overflow on the way there.
    track.sectors = static_cast<int32_t>(std::clamp<int64_t>(int64_t{next} - lsn, -1, INT32_MAX));
    track.audio = cdio_get_track_format(p, t) == TRACK_FORMAT_AUDIO;
    track.preemphasis = cdio_get_track_preemphasis(p, t) == CDIO_TRACK_FLAG_TRUE;
    toc.tracks.push_back(track);
  }

  // Images have one session (the call is unsupported there).
  lsn_t lastSession = CDIO_INVALID_LSN;
  if (cdio_get_last_session(p, &lastSession) == DRIVER_OP_SUCCESS &&
      lastSession != CDIO_INVALID_LSN)
    applySessions(toc, lastSession);

  if (const cdtext_t* text = cdio_get_cdtext(p)) {
    toc.text = cdText(text, 0);
    for (int i = 0; i < count; ++i)
      toc.tracks[static_cast<size_t>(i)].text = cdText(text, static_cast<track_t>(first + i));
  }
  return toc;
}

void applySessions(DiscToc& toc, int32_t lastSessionLsn) {
  // A disc with one session gives its first track's start.
  if (toc.tracks.empty() || lastSessionLsn <= toc.tracks.front().lsn) return;
  for (DiscTrack& track : toc.tracks)
    if (track.lsn >= lastSessionLsn) track.session = 2;
  trimSessionGaps(toc);
}

std::string tocProblem(const DiscToc& toc) {
  if (toc.tracks.empty()) return {};
  if (toc.tracks.size() > static_cast<size_t>(kMaxTracks))
    return "la tabla de contenido tiene " + std::to_string(toc.tracks.size()) +
           " pistas; un CD tiene 99 como mucho";
  if (toc.leadOutLsn > kMaxLeadOutLsn)
    return "la tabla de contenido va más allá de los 100 minutos que caben en un CD";
  int32_t previous = -1;
  for (const DiscTrack& t : toc.tracks) {
    if (t.lsn < 0 || t.lsn <= previous || t.sectors <= 0 || t.lsn >= toc.leadOutLsn)
      return "la tabla de contenido tiene pistas vacías, desordenadas o fuera del disco";
    previous = t.lsn;
  }
  return {};
}
