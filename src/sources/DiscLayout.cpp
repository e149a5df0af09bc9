#include "sources/DiscLayout.h"

#include <algorithm>
#include <cstdio>

#include "sources/SystemError.h"
#include "sources/TocRules.h"

std::string cueTime(int64_t sectors) {
  char buf[32];
  const int64_t seconds = sectors / kSectorsPerSecond;
  std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 60),
                static_cast<long long>(seconds % 60),
                static_cast<long long>(sectors % kSectorsPerSecond));
  return buf;
}

std::string quotedName(const std::string& name) {
  constexpr size_t kHead = 60, kTail = 20;
  if (name.size() <= kHead + kTail + 10) return quoted(name);
  // Cut on UTF-8 character boundaries.
  auto continuation = [&](size_t i) {
    return (static_cast<unsigned char>(name[i]) & 0xc0) == 0x80;
  };
  size_t head = kHead, tail = name.size() - kTail;
  while (head > 0 && continuation(head)) --head;
  while (tail < name.size() && continuation(tail)) ++tail;
  return quoted(name.substr(0, head) + "…" + name.substr(tail));
}

std::string RipDescription::problem(int line, const std::string& what) const {
  if (line <= 0) return quoted(name) + ": " + what;
  return quoted(name) + ", línea " + std::to_string(line) + ": " + what;
}

namespace {

int64_t wholeSectors(int64_t frames) {
  return (frames + kFramesPerSector - 1) / kFramesPerSector * kFramesPerSector;
}

std::string track(const RipTrack& t) {
  return "la pista " + std::to_string(t.number);
}

}  // namespace

std::optional<RipLayout> layOutRip(const RipDescription& rip,
                                   const std::vector<int64_t>& fileFrames, std::string* reason) {
  auto refuse = [&](int line, const std::string& what) -> std::optional<RipLayout> {
    *reason = rip.problem(line, what);
    return std::nullopt;
  };
  if (rip.tracks.empty()) return refuse(0, "no tiene ninguna pista");
  if (std::none_of(rip.tracks.begin(), rip.tracks.end(), [](const RipTrack& t) { return t.audio; }))
    return refuse(0, "no tiene ninguna pista de audio, solo de datos");

  RipLayout out;
  int64_t at = 0;  // frames from LSN 0, on a whole sector between tracks
  auto add = [&](int64_t frames, int file, int64_t fileFrame) {
    if (frames <= 0) return;
    if (file < 0 && !out.pieces.empty() && out.pieces.back().file < 0)
      out.pieces.back().frames += frames;
    else
      out.pieces.push_back({at, frames, file, fileFrame});
    at += frames;
  };
  const int64_t tooLong = kMaxDiscFrames + 1;
  for (size_t k = 0; k < rip.tracks.size(); ++k) {
    const RipTrack& t = rip.tracks[k];
    // Where each stretch starts within the track, and how long it is.
    std::vector<int64_t> offset, length;
    int64_t rel = 0;
    for (const RipStretch& s : t.content) {
      int64_t len = std::max<int64_t>(0, s.frames);
      if (s.file >= 0) {
        const int64_t have = fileFrames[static_cast<size_t>(s.file)];
        const std::string& name = rip.files[static_cast<size_t>(s.file)].name;
        if (s.frames < 0) len = std::max<int64_t>(0, have - s.from);
        if (s.from + len > have)
          return refuse(s.line, track(t) + " lee de " + quotedName(name) + " hasta " +
                                    cueTime((s.from + len) / kFramesPerSector) +
                                    ", más allá de su final (dura " +
                                    cueTime(have / kFramesPerSector) + ")");
      }
      offset.push_back(rel);
      length.push_back(len);
      rel = std::min(rel + len, tooLong);
      if (s.pad) rel = wholeSectors(rel);
    }
    offset.push_back(rel);
    const int64_t content = wholeSectors(rel);
    auto place = [&](const RipMark& m) {
      return std::min(wholeSectors(offset[std::min(m.stretch, t.content.size())]) +
                          m.sectors * kFramesPerSector,
                      tooLong);
    };
    const int64_t start = place(t.start);
    if (start == content)
      return refuse(t.start.line,
                    track(t) + " no dura nada" +
                        (k + 1 < rip.tracks.size() ? ": la siguiente empieza donde ella" : ""));
    if (start > content)
      return refuse(t.start.line, track(t) + " empieza en " + cueTime(start / kFramesPerSector) +
                                      ", más allá del final de lo que tiene (" +
                                      cueTime(content / kFramesPerSector) + ")");
    for (const RipMark& m : t.marks)
      if (place(m) >= content)
        return refuse(m.line, track(t) + " tiene una marca de índice en " +
                                  cueTime(place(m) / kFramesPerSector) +
                                  ", más allá de su final (" + cueTime(content / kFramesPerSector) +
                                  ")");

    // A later session starts after the gap a burned disc has before it.
    if (k > 0 && t.session > rip.tracks[k - 1].session)
      add(std::max<int64_t>(0, int64_t{kSessionGapSectors} * kFramesPerSector - start), -1, 0);
    const int64_t trackAt = at;
    for (size_t i = 0; i < t.content.size(); ++i) {
      const RipStretch& s = t.content[i];
      add(trackAt + offset[i] - at, -1, 0);  // the padding after the stretch before
      add(length[i], t.audio ? s.file : -1, s.from);
    }
    add(trackAt + content - at, -1, 0);
    if (at > kMaxDiscFrames)
      return refuse(0, "el disco duraría " + cueTime(at / kFramesPerSector) +
                           ", más de lo que cabe en un CD (" + cueTime(kMaxDiscSectors) + ")");

    DiscTrack d;
    d.lsn = static_cast<int32_t>((trackAt + start) / kFramesPerSector);
    d.audio = t.audio;
    d.preemphasis = t.preemphasis;
    d.session = t.session;
    d.text = t.text;
    out.toc.tracks.push_back(d);
  }
  out.toc.leadOutLsn = static_cast<int32_t>(at / kFramesPerSector);
  out.toc.text = rip.text;
  for (size_t i = 0; i < out.toc.tracks.size(); ++i) {
    const int32_t end =
        i + 1 < out.toc.tracks.size() ? out.toc.tracks[i + 1].lsn : out.toc.leadOutLsn;
    out.toc.tracks[i].sectors = end - out.toc.tracks[i].lsn;
  }
  trimSessionGaps(out.toc);
  return out;
}
