#include "sources/RipSource.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "sources/FileLookup.h"
#include "sources/SystemError.h"

std::string findRipFile(const std::string& folder, const RipFile& file, std::string* why) {
  std::vector<std::string> names{file.rawName};
  if (file.name != file.rawName) names.push_back(file.name);
  for (size_t i = 0, n = names.size(); i < n; ++i) {
    if (names[i].find('\\') == std::string::npos) continue;
    std::string slashed = names[i];
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    names.push_back(slashed);
  }
  // A path of another machine (D:\Música\x.wav, /home/otro/x.wav): its last
  // component, beside the rip.
  for (size_t i = 0, n = names.size(); i < n; ++i) {
    const size_t cut = names[i].find_last_of('/');
    if (cut != std::string::npos && cut + 1 < names[i].size())
      names.push_back(names[i].substr(cut + 1));
  }
  const FileLookup found = findFile(folder, names);
  if (!found.path.empty()) return found.path;
  if (!found.alike.empty()) {
    std::string list;
    for (const std::string& f : found.alike) list += (list.empty() ? "" : ", ") + ::quoted(f);
    *why =
        "no existe, y hay varios que solo se diferencian en mayúsculas y minúsculas (" + list + ")";
  } else {
    *why = found.tooLong ? "tiene un nombre más largo de lo que admite el sistema de archivos"
                         : "no existe";
  }
  return {};
}

std::unique_ptr<RipSource> RipSource::open(RipDescription rip, const std::string& folder,
                                           std::string* reason, const Completion& complete) {
  std::unique_ptr<RipSource> source(new RipSource());
  std::vector<int64_t> frames;
  std::string why;
  for (const RipFile& rf : rip.files) {
    OpenFile of;
    of.path = findRipFile(folder, rf, &why);
    bool opened = !of.path.empty();
    if (opened && rf.dataBytes > 0) {
      // Data: only its length in whole sectors matters.
      struct stat st {};
      opened = static_cast<bool>(openRegularFile(of.path, &why, &st));
      const int64_t bytes = std::max<int64_t>(0, st.st_size - rf.byteOffset);
      frames.push_back((bytes + rf.dataBytes - 1) / rf.dataBytes * kFramesPerSector);
    } else if (opened) {
      of.audio = AudioFile::open(of.path, rf.kind, &why, rf.byteOffset);
      opened = static_cast<bool>(of.audio);
      if (opened) frames.push_back(of.audio->frames());
    }
    if (!opened) {
      *reason = rip.problem(rf.line, "el archivo " + quotedName(rf.name) + " " + why);
      return nullptr;
    }
    source->files_.push_back(std::move(of));
  }
  if (complete && !complete(rip, frames, reason)) return nullptr;
  std::optional<RipLayout> layout = layOutRip(rip, frames, reason);
  if (!layout) return nullptr;
  source->layout_ = std::move(*layout);
  return source;
}

void RipSource::note(OpenFile& f, const std::string& what) {
  if (f.noted) return;
  f.noted = true;
  std::fprintf(stderr, "velmar: %s %s\n", ::quoted(f.path).c_str(), what.c_str());
}

SectorRead RipSource::readFile(const RipPiece& piece, int64_t frame, int64_t count, int16_t* out) {
  OpenFile& f = files_[static_cast<size_t>(piece.file)];
  const int64_t from = piece.fileFrame + (frame - piece.frame);
  const int64_t want = std::clamp<int64_t>(f.audio->frames() - from, 0, count);
  // The end of a file's last sector, past its audio, is silence.
  std::fill(out + want * 2, out + count * 2, int16_t{0});
  if (want == 0) return SectorRead::Ok;
  int err = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int64_t got = f.audio->read(from, want, out, &err);
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

SectorRead RipSource::read(int32_t lsn, int32_t count, int16_t* out) {
  if (count < 1 || count > kMaxSectorsPerRead) return SectorRead::Unreadable;
  if (lsn < 0 || int64_t{lsn} + count > layout_.toc.leadOutLsn) return SectorRead::Missing;
  const std::vector<RipPiece>& pieces = layout_.pieces;
  int64_t frame = int64_t{lsn} * kFramesPerSector;
  int64_t left = int64_t{count} * kFramesPerSector;
  // The piece that holds `frame`: the last one that starts at or before it.
  auto it = std::upper_bound(pieces.begin(), pieces.end(), frame,
                             [](int64_t at, const RipPiece& p) { return at < p.frame; }) -
            1;
  SectorRead result = SectorRead::Ok;
  for (; left > 0; ++it) {
    const RipPiece& p = *it;
    const int64_t n = std::min(left, p.frame + p.frames - frame);
    SectorRead r = SectorRead::Ok;
    if (p.file < 0 || !files_[static_cast<size_t>(p.file)].audio) {
      std::fill(out, out + n * 2, int16_t{0});
    } else {
      r = readFile(p, frame, n, out);
    }
    if (r == SectorRead::Unreadable) return r;
    if (r == SectorRead::Missing) result = r;
    frame += n;
    left -= n;
    out += n * 2;
  }
  return result;
}
