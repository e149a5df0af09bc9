#include <algorithm>
#include <filesystem>

#include "sources/CueSheet.h"
#include "sources/RipSource.h"

// A cue sheet described as a rip: the files follow one another, each taking
// whole sectors (a file that does not fill its last sector ends with
// silence); a track holds what lies from its first mark (INDEX 00, or INDEX 01)
// to the next track's, the first track also what comes before its first mark;
// PREGAP and POSTGAP are silence before the track's first mark and after its
// audio.

namespace {

// The tracks whose sectors each file holds: those with a mark in it, and the
// one whose sectors run on into it from the files before.
std::vector<std::vector<const CueTrack*>> tracksHeld(const CueSheet& sheet) {
  const size_t files = sheet.files.size();
  std::vector<std::vector<std::pair<const CueTrack*, int32_t>>> marks(files);
  for (const CueTrack& t : sheet.tracks)
    for (const CueIndex& i : t.indexes)
      if (i.number <= 1) marks[static_cast<size_t>(i.file)].push_back({&t, i.offset});
  std::vector<std::vector<const CueTrack*>> held(files);
  const CueTrack* running = nullptr;
  for (size_t f = 0; f < files; ++f) {
    if (running && (marks[f].empty() || marks[f].front().second > 0)) held[f].push_back(running);
    for (const auto& [t, offset] : marks[f]) {
      if (held[f].empty() || held[f].back() != t) held[f].push_back(t);
      running = t;
    }
  }
  return held;
}

// The files of `sheet`, and what each holds: a file that holds only data
// tracks is a data file.
bool describeFiles(const CueSheet& sheet, RipDescription* rip, std::string* reason) {
  const std::vector<std::vector<const CueTrack*>> held = tracksHeld(sheet);
  for (size_t f = 0; f < sheet.files.size(); ++f) {
    const CueFile& cf = sheet.files[f];
    RipFile rf{cf.name, cf.rawName, cf.kind, 0, 0, cf.line};
    const std::vector<const CueTrack*>& h = held[f];
    const bool audio =
        h.empty() || std::any_of(h.begin(), h.end(), [](auto t) { return t->audio; });
    for (size_t i = 0; i < h.size(); ++i) {
      // Sectors of another size than audio's put the audio after them
      // where no time of the sheet says; a data track of any size may end
      // an audio file, and a decoder's file knows no sectors.
      const bool misplaced = audio ? h[i]->sectorBytes != kBytesPerSector && i + 1 < h.size() &&
                                         cf.kind != FileKind::Encoded
                                   : h[i]->sectorBytes != h.front()->sectorBytes;
      if (misplaced) {
        *reason = sheet.problem(cf.line, "el archivo " + quotedName(cf.name) +
                                             " mezcla pistas de sectores de tamaños distintos");
        return false;
      }
    }
    if (!audio) rf.dataBytes = h.front()->sectorBytes;
    rip->files.push_back(std::move(rf));
  }
  return true;
}

// A place in the files: a file and a sector in it.
struct Place {
  int file = 0;
  int64_t sector = 0;
  bool operator==(const Place&) const = default;
};

// The tracks of `sheet`, now that the length of every file (`sectors`) is
// known.
bool describeTracks(const CueSheet& sheet, const std::vector<int64_t>& sectors, RipDescription* rip,
                    std::string* reason) {
  // Every mark within its file; a data track's may lie past its end (a data
  // session the ripper left out of its files).
  std::vector<bool> unheld(sheet.tracks.size());
  for (size_t k = 0; k < sheet.tracks.size(); ++k) {
    const CueTrack& t = sheet.tracks[k];
    for (const CueIndex& i : t.indexes) {
      const int64_t length = sectors[static_cast<size_t>(i.file)];
      if (i.offset < length) continue;
      if (!t.audio && i.number <= 1) {
        unheld[k] = true;
        continue;
      }
      const std::string where =
          &i == &t.start() ? "empieza en " : "tiene su INDEX " + std::to_string(i.number) + " en ";
      *reason =
          sheet.problem(i.line, "la pista " + std::to_string(t.number) + " " + where +
                                    cueTime(i.offset) + ", más allá del final de " +
                                    quotedName(sheet.files[static_cast<size_t>(i.file)].name) +
                                    ", que dura " + cueTime(length));
      return false;
    }
  }
  auto boundary = [&](size_t k) {
    if (k == 0) return Place{};
    if (k == sheet.tracks.size())
      return Place{static_cast<int>(sheet.files.size()) - 1, sectors.back()};
    const CueIndex& i = sheet.tracks[k].first();
    return Place{i.file, std::min<int64_t>(i.offset, sectors[static_cast<size_t>(i.file)])};
  };
  // What the files hold from `a` to `b`.
  auto range = [&](Place a, Place b, std::vector<RipStretch>& out, int line) {
    for (; a.file < b.file; a = Place{a.file + 1, 0})
      if (a.sector < sectors[static_cast<size_t>(a.file)])
        out.push_back({a.file, a.sector * kFramesPerSector, -1, true, line});
    // Up to the end of a file: what its last sector holds, then silence.
    const bool toEnd = b.sector >= sectors[static_cast<size_t>(b.file)];
    if (b.sector > a.sector)
      out.push_back({a.file, a.sector * kFramesPerSector,
                     toEnd ? -1 : (b.sector - a.sector) * kFramesPerSector, toEnd, line});
  };
  auto silence = [](int64_t length, int line) {
    return RipStretch{-1, 0, length * kFramesPerSector, false, line};
  };

  bool audioSeen = false, later = false;
  for (size_t k = 0; k < sheet.tracks.size(); ++k) {
    const CueTrack& t = sheet.tracks[k];
    RipTrack r;
    r.number = t.number;
    r.line = t.line;
    r.audio = t.audio;
    r.preemphasis = t.preemphasis;
    // Without REM SESSION a burner makes one session, but a data track that
    // no file holds as data (past the end of its file, or in a decoded audio
    // file, as EAC writes an Enhanced CD's) is the data session left out.
    const bool heldAsData =
        !unheld[k] && sheet.files[static_cast<size_t>(t.start().file)].kind != FileKind::Encoded;
    later = later || (audioSeen && !t.audio && !heldAsData);
    audioSeen = audioSeen || t.audio;
    r.session = sheet.sessions ? t.session : (later ? 2 : 1);
    r.text = t.text;
    const Place first{t.first().file, t.first().offset};
    if (k == 0) range(Place{}, first, r.content, t.line);
    if (t.pregap > 0) r.content.push_back(silence(t.pregap, t.pregapLine));
    const size_t fromFirst = r.content.size();
    range(k == 0 ? first : boundary(k), boundary(k + 1), r.content, t.line);
    if (!t.audio && (unheld[k] || r.content.size() == fromFirst)) {
      r.content = {silence(kUnheldDataSectors, t.line)};
      r.start = {0, 0, t.line};
    } else {
      // INDEX 01 in the stretch that holds it, from the first mark on.
      const CueIndex& s = t.start();
      r.start = {r.content.size(), 0, s.line};
      for (size_t i = fromFirst; i < r.content.size(); ++i) {
        const RipStretch& c = r.content[i];
        const int64_t from = c.from / kFramesPerSector;
        if (c.file == s.file && s.offset >= from &&
            (c.frames < 0 || s.offset < from + c.frames / kFramesPerSector)) {
          r.start = {i, s.offset - from, s.line};
          break;
        }
      }
    }
    if (t.postgap > 0) r.content.push_back(silence(t.postgap, t.postgapLine));
    rip->tracks.push_back(std::move(r));
  }
  return true;
}

}  // namespace

std::unique_ptr<RipSource> openCueSheet(const std::string& path, std::string* reason) {
  std::string why;
  std::optional<CueSheet> sheet = readCueSheet(path, &why);
  RipDescription rip;
  if (sheet) {
    rip.name = sheet->name;
    rip.text = sheet->text;
  }
  if (!sheet || !describeFiles(*sheet, &rip, &why)) {
    if (reason) *reason = why;
    return nullptr;
  }
  auto complete = [&](RipDescription& r, const std::vector<int64_t>& frames, std::string* w) {
    std::vector<int64_t> sectors;
    for (const int64_t f : frames) sectors.push_back((f + kFramesPerSector - 1) / kFramesPerSector);
    return describeTracks(*sheet, sectors, &r, w);
  };
  auto source = RipSource::open(std::move(rip), std::filesystem::path(path).parent_path().string(),
                                &why, complete);
  if (!source && reason) *reason = why;
  return source;
}
