#include "DiscImageWriter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>

namespace discgen {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

struct Piece {
  int rootMidi;                // key
  double bpm;                  // tempo
  std::array<double, 4> harm;  // timbre: partial amplitudes 1..4
  double decay;                // note decay, 1/s
  std::array<int, 4> chords;   // scale degrees of the 4-bar progression
  bool minor;
};

// C major pop, A minor ballad, E-flat major bells, D minor waltz-like pulse.
constexpr std::array<Piece, 4> kPieces{{
    {60, 104, {1.0, 0.35, 0.12, 0.05}, 3.0, {0, 4, 5, 3}, false},
    {57, 76, {1.0, 0.10, 0.02, 0.0}, 1.6, {0, 5, 2, 6}, true},
    {63, 128, {1.0, 0.0, 0.45, 0.0}, 5.0, {0, 3, 4, 0}, false},
    {62, 92, {1.0, 0.5, 0.3, 0.2}, 2.2, {0, 3, 6, 4}, true},
}};

double midiHz(double note) {
  return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

int scaleStep(int degree, bool minor) {
  static constexpr std::array<int, 7> major{0, 2, 4, 5, 7, 9, 11};
  static constexpr std::array<int, 7> minorScale{0, 2, 3, 5, 7, 8, 10};
  const int octave = degree / 7;
  const int d = degree % 7;
  return octave * 12 + (minor ? minorScale : major)[static_cast<size_t>(d)];
}

double voice(const Piece& p, double hz, double t) {
  double v = 0;
  for (size_t h = 0; h < p.harm.size(); ++h)
    v += p.harm[h] * std::sin(kTwoPi * hz * static_cast<double>(h + 1) * t);
  return v;
}

// One stereo frame of a piece at time t (s) of a track lasting `len` s.
std::array<double, 2> musicFrame(const Piece& p, double t, double len) {
  const double beat = 60.0 / p.bpm;
  const double eighth = beat / 2;
  const double bar = beat * 4;
  const int barIndex = static_cast<int>(t / bar);
  const int degree = p.chords[static_cast<size_t>(barIndex % 4)];
  const int root = p.rootMidi + scaleStep(degree, p.minor);
  const std::array<int, 4> arp{root, p.rootMidi + scaleStep(degree + 2, p.minor),
                               p.rootMidi + scaleStep(degree + 4, p.minor), root + 12};
  // Arpeggio: eighth notes, up and down the chord.
  const int step = static_cast<int>(t / eighth);
  static constexpr std::array<int, 6> order{0, 1, 2, 3, 2, 1};
  const double tn = t - step * eighth;
  const double arpHz = midiHz(arp[static_cast<size_t>(order[static_cast<size_t>(step % 6)])]);
  const double lead = voice(p, arpHz, t) * std::exp(-p.decay * tn) * std::min(1.0, tn * 200);
  // Bass: chord root two octaves down, one note per beat.
  const double tb = std::fmod(t, beat);
  const double bass =
      std::sin(kTwoPi * midiHz(root - 24) * t) * std::exp(-2.5 * tb) * std::min(1.0, tb * 200);
  // Pad: the chord's third and fifth, soft and steady.
  const double pad = 0.5 * (std::sin(kTwoPi * midiHz(arp[1] - 12) * t) +
                            std::sin(kTwoPi * midiHz(arp[2] - 12) * t));
  const double fade = std::clamp(std::min(t / 0.5, (len - t) / 1.5), 0.0, 1.0);
  const double pan = 0.5 + 0.3 * std::sin(kTwoPi * t / (bar * 2));
  const double l = fade * (0.22 * lead * (1 - pan) * 2 + 0.25 * bass + 0.06 * pad);
  const double r = fade * (0.22 * lead * pan * 2 + 0.25 * bass + 0.06 * pad);
  return {l, r};
}

int16_t toSample(double v) {
  return static_cast<int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32767));
}

void put16(std::string& out, int16_t s) {
  const auto u = static_cast<uint16_t>(s);
  out.push_back(static_cast<char>(u & 0xff));
  out.push_back(static_cast<char>(u >> 8));
}

std::string msf(int64_t sectors) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", static_cast<int>(sectors / 75 / 60),
                static_cast<int>(sectors / 75 % 60), static_cast<int>(sectors % 75));
  return buf;
}

// A mode 1 data sector: sync pattern, header, zero user data.
std::string dataSector(int64_t lba) {
  std::string s(kBytesPerSector, '\0');
  for (int i = 1; i <= 10; ++i) s[static_cast<size_t>(i)] = '\xff';
  auto bcd = [](int v) { return static_cast<char>(((v / 10) << 4) | (v % 10)); };
  s[12] = bcd(static_cast<int>(lba / 75 / 60));
  s[13] = bcd(static_cast<int>(lba / 75 % 60));
  s[14] = bcd(static_cast<int>(lba % 75));
  s[15] = 1;
  return s;
}

}  // namespace

int16_t sampleAt(const TrackPlan& track, int64_t frame, int channel) {
  const double t = static_cast<double>(frame) / kSampleRate;
  if (track.kind == TrackPlan::Kind::Counter)
    return static_cast<int16_t>(channel == 0 ? frame % 32768
                                             : static_cast<int64_t>(track.toneHz) + frame / 32768);
  if (track.kind == TrackPlan::Kind::Tone)
    return toSample(0.5 * std::sin(kTwoPi * track.toneHz * t));
  if (track.kind == TrackPlan::Kind::Music) {
    const Piece& p = kPieces[static_cast<size_t>(std::clamp(track.piece, 0, 3))];
    const double len = static_cast<double>(track.sectors) / 75.0;
    return toSample(musicFrame(p, t, len)[static_cast<size_t>(channel)]);
  }
  return 0;
}

namespace {

// Where a track's marks fall, as LSN from the first sector of the .bin.
struct Marks {
  int64_t index0, index1;
  bool data;
};

// The plan's sectors in disc order, from track 1's INDEX 00 on, each handed
// to `put` (kBytesPerSector bytes); returns each track's marks.
std::vector<Marks> forEachSector(const DiscPlan& disc,
                                 const std::function<void(const std::string&)>& put) {
  std::vector<Marks> marks;
  int64_t lsn = 0;
  std::string sector;
  for (const TrackPlan& t : disc.tracks) {
    const bool data = t.kind == TrackPlan::Kind::Data;
    const int64_t index0 = lsn;
    for (int32_t s = 0; s < t.pregapSectors; ++s, ++lsn)
      put(data ? dataSector(lsn + 150) : std::string(kBytesPerSector, '\0'));
    marks.push_back({index0, lsn, data});
    for (int32_t s = 0; s < t.sectors; ++s, ++lsn) {
      if (data) {
        put(dataSector(lsn + 150));
        continue;
      }
      sector.clear();
      for (int f = 0; f < kFramesPerSector; ++f) {
        const int64_t frame = int64_t{s} * kFramesPerSector + f;
        put16(sector, sampleAt(t, frame, 0));
        put16(sector, sampleAt(t, frame, 1));
      }
      put(sector);
    }
  }
  marks.push_back({lsn, lsn, false});  // the lead-out
  return marks;
}

// `v` as `bytes` bytes, big-endian.
std::string be(uint64_t v, int bytes) {
  std::string s;
  for (int i = bytes - 1; i >= 0; --i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

std::string neroChunk(const std::string& id, const std::string& data, int64_t size = -1) {
  return id + be(size < 0 ? data.size() : static_cast<uint64_t>(size), 4) + data;
}

std::string writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  out.close();
  return out ? std::string() : "cannot write " + path;
}

}  // namespace

std::string writeDisc(const std::string& cuePath, const DiscPlan& disc) {
  namespace fs = std::filesystem;
  const fs::path cue(cuePath);
  fs::path bin = cue;
  bin.replace_extension(".bin");
  std::ofstream binOut(bin, std::ios::binary | std::ios::trunc);
  if (!binOut) return "cannot write " + bin.string();
  const std::vector<Marks> marks =
      forEachSector(disc, [&](const std::string& sector) { binOut << sector; });
  binOut.close();
  if (!binOut) return "cannot write " + bin.string();

  std::string sheet =
      "FILE \"" + (disc.fileLine.empty() ? bin.filename().string() : disc.fileLine) + "\" BINARY\n";
  for (size_t i = 0; i + 1 < marks.size(); ++i) {
    char head[64];
    std::snprintf(head, sizeof head, "  TRACK %02zu %s\n", i + 1,
                  marks[i].data ? "MODE1/2352" : "AUDIO");
    sheet += head;
    if (marks[i].index1 > marks[i].index0) sheet += "    INDEX 00 " + msf(marks[i].index0) + "\n";
    sheet += "    INDEX 01 " + msf(marks[i].index1) + "\n";
  }
  return writeFile(cue.string(), sheet);
}

NeroImage neroImage(const DiscPlan& disc) {
  NeroImage n;
  n.sectors.assign(size_t{150} * kBytesPerSector, '\0');
  const std::vector<Marks> marks =
      forEachSector(disc, [&](const std::string& sector) { n.sectors += sector; });
  const size_t count = marks.size() - 1;
  auto offset = [](int64_t lsn) { return (lsn + 150) * kBytesPerSector; };
  n.cues.push_back({0x01, 0x00, 0, -150});
  for (size_t i = 0; i < count; ++i) {
    if (marks[i].data) return {};
    const auto bcd = static_cast<uint8_t>((i + 1) / 10 * 16 + (i + 1) % 10);
    // Track 1's INDEX 00 is the 2 s before the disc's first sector.
    const int64_t index0 = i == 0 ? -150 : marks[i].index0;
    n.cues.push_back({0x01, bcd, 0, static_cast<int32_t>(index0)});
    n.cues.push_back({0x01, bcd, 1, static_cast<int32_t>(marks[i].index1)});
    n.tracks.push_back({offset(index0), offset(marks[i].index1), offset(marks[i + 1].index0)});
  }
  n.cues.push_back({0x01, 0xAA, 1, static_cast<int32_t>(marks[count].index0)});
  n.lastTrack = static_cast<int>(count);
  return n;
}

std::string NeroImage::bytes() const {
  std::string cuex;
  for (const Cue& c : cues)
    cuex += be(c.control, 1) + be(c.track, 1) + be(c.index, 1) + be(0, 1) +
            be(static_cast<uint32_t>(c.lba), 4);
  // A header (its size, the UPC, the table's kind), the first and the last
  // track; then each track's ISRC, sector size, mode (audio) and offsets.
  std::string daox = be(0, 4) + std::string(16, '\0') + be(static_cast<uint64_t>(firstTrack), 1) +
                     be(static_cast<uint64_t>(lastTrack), 1);
  for (const Track& t : tracks)
    daox += std::string(12, '\0') + be(kBytesPerSector, 2) + be(0x0700, 2) + be(0, 2) +
            be(static_cast<uint64_t>(t.index0), 8) + be(static_cast<uint64_t>(t.index1), 8) +
            be(static_cast<uint64_t>(t.end), 8);
  std::string chunks = neroChunk("CUEX", cuex + cuexTail, cuexSize) + neroChunk("DAOX", daox) +
                       neroChunk("SINF", be(tracks.size(), 4)) + neroChunk("END!", "");
  chunks.resize(std::min(chunks.size(), chunkBytes));
  const uint64_t at = footerOffset < 0 ? sectors.size() : static_cast<uint64_t>(footerOffset);
  return sectors + chunks + (versionOne ? "NERO" + be(at, 4) : "NER5" + be(at, 8));
}

std::string writeNrg(const std::string& nrgPath, const DiscPlan& disc) {
  const NeroImage image = neroImage(disc);
  if (image.sectors.empty()) return "a .nrg image holds audio tracks only";
  return writeFile(nrgPath, image.bytes());
}

DiscPlan demoDisc() {
  DiscPlan d;
  const std::array<int32_t, 4> seconds{32, 38, 26, 34};
  for (int i = 0; i < 4; ++i) {
    TrackPlan t;
    t.kind = TrackPlan::Kind::Music;
    t.piece = i;
    t.sectors = seconds[static_cast<size_t>(i)] * 75;
    d.tracks.push_back(t);
  }
  return d;
}

}  // namespace discgen
