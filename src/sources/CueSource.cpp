#include "sources/CueSource.h"

#include <sys/stat.h>

#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "sources/SystemError.h"
#include "sources/TocRules.h"

namespace fs = std::filesystem;

namespace {

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

namespace {

// The tracks whose audio each file holds: those with a mark in it, and the
// one whose audio runs on into it from the files before.
std::vector<std::vector<const CueTrack*>> tracksHeld(const CueSheet& sheet) {
  const size_t files = sheet.files.size();
  std::vector<std::vector<std::pair<const CueTrack*, int32_t>>> marks(files);
  for (const CueTrack& t : sheet.tracks)
    for (const CueIndex& i : t.indexes)
      marks[static_cast<size_t>(i.file)].push_back({&t, i.offset});
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

}  // namespace

std::unique_ptr<CueSource> CueSource::open(const std::string& path, std::string* reason) {
  std::string why;
  const std::optional<CueSheet> sheet = readCueSheet(path, &why);
  std::unique_ptr<CueSource> source(new CueSource());
  std::vector<int32_t> sectors;
  if (!sheet || !source->openFiles(*sheet, fs::path(path).parent_path().string(), &sectors, &why) ||
      !source->layOut(*sheet, sectors, &why)) {
    if (reason) *reason = why;
    return nullptr;
  }
  return source;
}

bool CueSource::openFiles(const CueSheet& sheet, const std::string& folder,
                          std::vector<int32_t>* sectors, std::string* reason) {
  const std::vector<std::vector<const CueTrack*>> held = tracksHeld(sheet);
  std::string why;
  for (size_t f = 0; f < sheet.files.size(); ++f) {
    const CueFile& cf = sheet.files[f];
    const std::string named = "el archivo " + quoted(cf.name) + " ";
    OpenFile of;
    of.path = findCueFile(folder, cf, &why);
    if (!of.path.empty()) of.audio = AudioFile::open(of.path, cf.kind, &why);
    if (!of.audio) {
      *reason = sheet.problem(cf.line, named + why);
      return false;
    }
    int32_t bytesPerSector = kBytesPerSector;
    for (const CueTrack* t : held[f]) {
      if (t->sectorBytes != held[f].front()->sectorBytes) {
        *reason = sheet.problem(cf.line, named + "mezcla pistas de sectores de tamaños distintos");
        return false;
      }
      if (!t->audio && !of.audio->raw()) {
        *reason = sheet.problem(t->line, "la pista " + std::to_string(t->number) +
                                             " es de datos, pero el archivo " + quoted(cf.name) +
                                             " es de audio");
        return false;
      }
      bytesPerSector = t->sectorBytes;
    }
    // Sectors of another size are data, never audio. A file takes whole
    // sectors; what its last one lacks is silence.
    of.silent = bytesPerSector != kBytesPerSector;
    if (of.audio->raw() || of.silent) {
      sectors->push_back(
          static_cast<int32_t>((of.audio->bytes() + bytesPerSector - 1) / bytesPerSector));
    } else {
      sectors->push_back(
          static_cast<int32_t>((of.audio->frames() + kFramesPerSector - 1) / kFramesPerSector));
    }
    files_.push_back(std::move(of));
  }

  // Every mark within its file.
  for (const CueTrack& t : sheet.tracks) {
    for (const CueIndex& i : t.indexes) {
      const int32_t length = (*sectors)[static_cast<size_t>(i.file)];
      if (i.offset < length) continue;
      const std::string where =
          i.number == 1 ? "empieza en " : "tiene su INDEX " + std::to_string(i.number) + " en ";
      *reason = sheet.problem(i.line, "la pista " + std::to_string(t.number) + " " + where +
                                          cueTime(i.offset) + ", más allá del final de " +
                                          quoted(sheet.files[static_cast<size_t>(i.file)].name) +
                                          ", que dura " + cueTime(length));
      return false;
    }
  }
  return true;
}

bool CueSource::layOut(const CueSheet& sheet, const std::vector<int32_t>& sectors,
                       std::string* reason) {
  // Silence no file holds, and where it goes: before each track's first mark
  // (the previous track's POSTGAP, then its own PREGAP, or instead the gap
  // between sessions), and at the end (the last track's POSTGAP).
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
  // The files one after the other, cut where silence goes in.
  std::vector<int64_t> fileStart;  // LSN
  int64_t lsn = 0;
  auto add = [&](int file, int32_t from, int64_t count) {
    if (count > 0)
      pieces_.push_back({static_cast<int32_t>(lsn), static_cast<int32_t>(count), file, from});
    lsn += count;
  };
  size_t k = 0;
  for (size_t f = 0; f < sectors.size(); ++f) {
    fileStart.push_back(lsn);
    int32_t at = 0;
    for (; k < inserts.size() && inserts[k].file == static_cast<int>(f); ++k) {
      add(static_cast<int>(f), at, inserts[k].offset - at);
      add(-1, 0, inserts[k].sectors);
      at = inserts[k].offset;
    }
    add(static_cast<int>(f), at, sectors[f] - at);
  }
  add(-1, 0, sheet.tracks.back().postgap);
  if (lsn > kMaxDiscSectors) {
    *reason =
        sheet.problem(0, "el disco duraría " + cueTime(lsn) + ", más de lo que cabe en un CD (" +
                             cueTime(kMaxDiscSectors) + ")");
    return false;
  }

  // A mark's LSN: its file's start, its offset, and the silence put in that
  // file up to and including its place.
  auto lsnOf = [&](const CueIndex& i) {
    int64_t at = fileStart[static_cast<size_t>(i.file)] + i.offset;
    for (const Insert& s : inserts)
      if (s.file == i.file && s.offset <= i.offset) at += s.sectors;
    return static_cast<int32_t>(at);
  };
  toc_.leadOutLsn = static_cast<int32_t>(lsn);
  toc_.text = sheet.text;
  for (const CueTrack& t : sheet.tracks) {
    DiscTrack d;
    d.lsn = lsnOf(t.start());
    d.audio = t.audio;
    d.preemphasis = t.preemphasis;
    d.session = t.session;
    d.text = t.text;
    toc_.tracks.push_back(d);
  }
  for (size_t i = 0; i < toc_.tracks.size(); ++i) {
    const int32_t end = i + 1 < toc_.tracks.size() ? toc_.tracks[i + 1].lsn : toc_.leadOutLsn;
    toc_.tracks[i].sectors = end - toc_.tracks[i].lsn;
    if (toc_.tracks[i].sectors <= 0) {
      *reason = sheet.problem(sheet.tracks[i].start().line,
                              "la pista " + std::to_string(sheet.tracks[i].number) +
                                  " no dura nada: la siguiente empieza donde ella");
      return false;
    }
  }
  trimSessionGaps(toc_);
  return true;
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
    // The file holds less than it did, or than its header said.
    if (f.audio->shrunk()) {
      note(f, "se ha acortado desde que se abrió: lo que falta no se puede leer");
      f.audio->resync();
      return SectorRead::Missing;
    }
    if (got >= 0) {
      note(f, "termina antes de lo que dice su cabecera: lo que falta no se puede leer");
      return SectorRead::Missing;
    }
    f.audio->resync();
  }
  note(f, err ? "no se puede leer: " + systemErrorText(err)
              : "no se puede descodificar: está dañado o incompleto");
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
