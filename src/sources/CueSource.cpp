#include "sources/CueSource.h"

#include <sys/stat.h>

#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "sources/SystemError.h"

namespace fs = std::filesystem;

namespace {

std::string msf(int64_t sectors) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(sectors / 75 / 60),
                static_cast<long long>(sectors / 75 % 60), static_cast<long long>(sectors % 75));
  return buf;
}

bool pathExists(const fs::path& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0;
}

QString folded(const std::string& name) {
  return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())).toCaseFolded();
}

}  // namespace

std::string findCueFile(const std::string& folder, const CueFile& file, std::string* why) {
  std::vector<std::string> names{file.rawName};
  if (file.name != file.rawName) names.push_back(file.name);
  for (size_t i = 0, n = names.size(); i < n; ++i) {
    if (names[i].find('\\') == std::string::npos) continue;
    std::string slashed = names[i];
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    names.push_back(slashed);
  }
  for (const std::string& name : names) {
    const fs::path p = fs::path(folder) / name;
    if (pathExists(p)) return p.string();
  }
  // One name in the same folder that differs only in case.
  for (const std::string& name : names) {
    const fs::path p = fs::path(folder) / name;
    const QString want = folded(p.filename().string());
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(p.parent_path().empty() ? "." : p.parent_path(), ec), end;
         !ec && it != end; it.increment(ec)) {
      if (folded(it->path().filename().string()) == want) found.push_back(it->path());
    }
    if (found.size() == 1) return found.front().string();
    if (found.size() > 1) {
      std::sort(found.begin(), found.end());
      std::string list;
      for (const fs::path& f : found)
        list += (list.empty() ? "" : ", ") + ::quoted(f.filename().string());
      *why = "no existe, y hay varios que solo se diferencian en mayúsculas y minúsculas (" + list +
             ")";
      return {};
    }
  }
  *why = "no existe";
  return {};
}

std::unique_ptr<CueSource> CueSource::open(const std::string& path, std::string* reason) {
  auto refuse = [&](const std::string& what) -> std::unique_ptr<CueSource> {
    if (reason) *reason = what;
    return nullptr;
  };
  std::string why;
  std::optional<CueSheet> parsed = readCueSheet(path, &why);
  if (!parsed) return refuse(why);
  const CueSheet& sheet = *parsed;
  const std::string folder = fs::path(path).parent_path().string();
  const size_t fileCount = sheet.files.size();

  // The tracks whose audio each file holds: those with a mark in it, and the
  // one whose audio runs on into it from the files before.
  std::vector<std::vector<const CueTrack*>> held(fileCount);
  {
    std::vector<std::vector<std::pair<const CueTrack*, int32_t>>> marks(fileCount);
    for (const CueTrack& t : sheet.tracks)
      for (const CueIndex& i : t.indexes)
        marks[static_cast<size_t>(i.file)].push_back({&t, i.offset});
    const CueTrack* running = nullptr;
    for (size_t f = 0; f < fileCount; ++f) {
      if (running && (marks[f].empty() || marks[f].front().second > 0)) held[f].push_back(running);
      for (const auto& [t, offset] : marks[f]) {
        if (held[f].empty() || held[f].back() != t) held[f].push_back(t);
        running = t;
      }
    }
  }

  std::unique_ptr<CueSource> source(new CueSource());
  std::vector<int32_t> fileSectors(fileCount);
  for (size_t f = 0; f < fileCount; ++f) {
    const CueFile& cf = sheet.files[f];
    const std::string named = "el archivo " + quoted(cf.name) + " ";
    OpenFile of;
    of.path = findCueFile(folder, cf, &why);
    if (of.path.empty()) return refuse(sheet.problem(cf.line, named + why));
    of.audio = AudioFile::open(of.path, cf.kind, &why);
    if (!of.audio) return refuse(sheet.problem(cf.line, named + why));
    int32_t bytesPerSector = kBytesPerSector;
    for (const CueTrack* t : held[f]) {
      if (t->sectorBytes != held[f].front()->sectorBytes)
        return refuse(
            sheet.problem(cf.line, named + "mezcla pistas de sectores de tamaños distintos"));
      if (!t->audio && !of.audio->raw())
        return refuse(sheet.problem(t->line, "la pista " + std::to_string(t->number) +
                                                 " es de datos, pero el archivo " +
                                                 quoted(cf.name) + " es de audio"));
      bytesPerSector = t->sectorBytes;
    }
    // Sectors of another size are data, never audio.
    of.silent = bytesPerSector != kBytesPerSector;
    if (of.audio->raw() || bytesPerSector != kBytesPerSector) {
      fileSectors[f] =
          static_cast<int32_t>((of.audio->bytes() + bytesPerSector - 1) / bytesPerSector);
    } else {
      fileSectors[f] =
          static_cast<int32_t>((of.audio->frames() + kFramesPerSector - 1) / kFramesPerSector);
    }
    source->files_.push_back(std::move(of));
  }

  // Every mark within its file.
  for (const CueTrack& t : sheet.tracks) {
    for (const CueIndex& i : t.indexes) {
      const int32_t length = fileSectors[static_cast<size_t>(i.file)];
      if (i.offset < length) continue;
      const std::string file = quoted(sheet.files[static_cast<size_t>(i.file)].name);
      const std::string where =
          i.number == 1 ? "empieza en " : "tiene su INDEX " + std::to_string(i.number) + " en ";
      return refuse(sheet.problem(i.line, "la pista " + std::to_string(t.number) + " " + where +
                                              msf(i.offset) + ", más allá del final de " + file +
                                              ", que dura " + msf(length)));
    }
  }

  // Silence no file holds, where it goes: before each track's first mark
  // (the previous track's POSTGAP, then its own PREGAP, or the gap between
  // sessions), and at the end (the last track's POSTGAP).
  struct Insert {
    int file;
    int32_t offset, sectors;
  };
  std::vector<Insert> inserts;
  for (size_t k = 0; k < sheet.tracks.size(); ++k) {
    const CueTrack& t = sheet.tracks[k];
    const bool newSession = k > 0 && t.session != sheet.tracks[k - 1].session;
    const int32_t before =
        (k > 0 ? sheet.tracks[k - 1].postgap : 0) + (newSession ? kSessionGapSectors : t.pregap);
    if (before > 0) inserts.push_back({t.first().file, t.first().offset, before});
  }
  std::vector<int64_t> fileStart(fileCount);  // the file's first sector, LSN
  int64_t lsn = 0;
  auto add = [&](int file, int64_t from, int64_t sectors) {
    if (sectors <= 0 || lsn + sectors > kMaxDiscSectors) {
      lsn += std::max<int64_t>(sectors, 0);
      return;
    }
    source->pieces_.push_back({static_cast<int32_t>(lsn), static_cast<int32_t>(sectors), file,
                               static_cast<int32_t>(from)});
    lsn += sectors;
  };
  size_t k = 0;
  for (size_t f = 0; f < fileCount; ++f) {
    fileStart[f] = lsn;
    int32_t at = 0;
    for (; k < inserts.size() && inserts[k].file == static_cast<int>(f); ++k) {
      add(static_cast<int>(f), at, inserts[k].offset - at);
      add(-1, 0, inserts[k].sectors);
      at = inserts[k].offset;
    }
    add(static_cast<int>(f), at, fileSectors[f] - at);
  }
  add(-1, 0, sheet.tracks.back().postgap);
  if (lsn > kMaxDiscSectors)
    return refuse(sheet.problem(0, "el disco duraría " + msf(lsn) +
                                       ", más de lo que cabe en un CD (" + msf(kMaxDiscSectors) +
                                       ")"));

  // A mark's LSN: its file's start, its offset, and the silence put in that
  // file up to and including its place.
  auto lsnOf = [&](const CueIndex& i) {
    int64_t at = fileStart[static_cast<size_t>(i.file)] + i.offset;
    for (const Insert& s : inserts)
      if (s.file == i.file && s.offset <= i.offset) at += s.sectors;
    return static_cast<int32_t>(at);
  };
  DiscToc& toc = source->toc_;
  toc.leadOutLsn = static_cast<int32_t>(lsn);
  toc.text = sheet.text;
  for (const CueTrack& t : sheet.tracks) {
    DiscTrack d;
    d.lsn = lsnOf(t.start());
    d.audio = t.audio;
    d.preemphasis = t.preemphasis;
    d.session = t.session;
    d.text = t.text;
    toc.tracks.push_back(d);
  }
  for (size_t i = 0; i < toc.tracks.size(); ++i) {
    const int32_t end = i + 1 < toc.tracks.size() ? toc.tracks[i + 1].lsn : toc.leadOutLsn;
    toc.tracks[i].sectors = end - toc.tracks[i].lsn;
    if (toc.tracks[i].sectors <= 0)
      return refuse(sheet.problem(sheet.tracks[i].start().line,
                                  "la pista " + std::to_string(sheet.tracks[i].number) +
                                      " no dura nada: la siguiente empieza donde ella"));
  }
  return source;
}

void CueSource::note(OpenFile& f, const std::string& what) {
  if (f.noted) return;
  f.noted = true;
  std::fprintf(stderr, "velmar: %s %s\n", ::quoted(f.path).c_str(), what.c_str());
}

SectorRead CueSource::readFile(const Piece& piece, int32_t lsn, int32_t count, int16_t* out) {
  OpenFile& f = files_[static_cast<size_t>(piece.file)];
  const int64_t frame = (int64_t{piece.fileSector} + (lsn - piece.lsn)) * kFramesPerSector;
  const int64_t want =
      std::clamp<int64_t>(f.audio->frames() - frame, 0, int64_t{count} * kFramesPerSector);
  // The end of a file's last sector, past its audio, is silence.
  std::fill(out + want * 2, out + int64_t{count} * kSamplesPerSector, int16_t{0});
  if (want == 0) return SectorRead::Ok;
  int err = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int64_t got = f.audio->read(frame, want, out, &err);
    if (got == want) {
      f.noted = false;
      return SectorRead::Ok;
    }
    if (f.audio->shrunk()) {
      note(f, "se ha acortado desde que se abrió: lo que falta no se puede leer");
      f.audio->resync();
      return SectorRead::Missing;
    }
    f.audio->resync();
  }
  note(f, "no se puede leer: " + systemErrorText(err ? err : EIO));
  return SectorRead::Unreadable;
}

SectorRead CueSource::read(int32_t lsn, int32_t count, int16_t* out) {
  if (count < 1 || count > kMaxSectorsPerRead) return SectorRead::Unreadable;
  if (lsn < 0 || int64_t{lsn} + count > toc_.leadOutLsn) return SectorRead::Missing;
  // The piece that holds `lsn`: the last one that starts at or before it.
  auto it = std::upper_bound(pieces_.begin(), pieces_.end(), lsn,
                             [](int32_t at, const Piece& p) { return at < p.lsn; }) -
            1;
  SectorRead result = SectorRead::Ok;
  for (; count > 0; ++it) {
    const Piece& p = *it;
    const int32_t n = std::min(count, p.lsn + p.sectors - lsn);
    SectorRead r = SectorRead::Ok;
    if (p.file < 0 || files_[static_cast<size_t>(p.file)].silent) {
      std::fill(out, out + int64_t{n} * kSamplesPerSector, int16_t{0});
    } else {
      r = readFile(p, lsn, n, out);
    }
    if (r == SectorRead::Unreadable) return r;
    if (r == SectorRead::Missing) result = r;
    lsn += n;
    count -= n;
    out += int64_t{n} * kSamplesPerSector;
  }
  return result;
}
