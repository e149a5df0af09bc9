#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes small CD images of synthesized audio (a .cue sheet and its raw .bin,
// or a Nero .nrg): the demo disc and the images the tests play. Audio is 44.1 kHz, 16-bit
// little-endian stereo, 2352 bytes (588 frames) per sector; track 1 starts at
// LSN 0 (00:02:00 on the disc).
namespace discgen {

inline constexpr int kFramesPerSector = 588;
inline constexpr int kBytesPerSector = 2352;
inline constexpr int kSampleRate = 44100;

struct TrackPlan {
  enum class Kind { Music, Tone, Counter, Data };
  Kind kind = Kind::Tone;
  // Length in sectors (75 per second), INDEX 00 pregap excluded.
  int32_t sectors = 75;
  // Tone: a sine of this frequency, Hz, at half of full scale. Counter: the
  // left sample is the frame number within the track modulo 32768, the right
  // one toneHz plus the frame number divided by 32768, so every frame of a
  // short disc is told apart from every other.
  double toneHz = 440;
  // Music: which of the four demo pieces (0..3); each has its own key, tempo
  // and timbre.
  int piece = 0;
  // Sectors of INDEX 00 pregap before the track's INDEX 01 (audio: silence).
  int32_t pregapSectors = 0;
};

struct DiscPlan {
  std::vector<TrackPlan> tracks;
  // The file the cue's FILE line names; empty: the .bin written beside it.
  std::string fileLine;
};

// Writes `cuePath` and the .bin with the same base name. Returns an empty
// string on success, else what went wrong.
std::string writeDisc(const std::string& cuePath, const DiscPlan& disc);

// A Nero image (format 2) as writeNrg lays it out: every sector of the disc
// from track 1's 2 s pregap on (the .bin's sectors after 150 of silence),
// then the chunks CUEX (each track's INDEX 00 and 01 as LBA, then the
// lead-out), DAOX (each track's byte offsets), SINF and END!, and the NER5
// footer holding the offset of the first chunk. All numbers are big-endian.
// Tests forge images by changing its parts before bytes().
struct NeroImage {
  struct Cue {
    uint8_t control = 0x01;  // ADR 1; 0x40 for data
    uint8_t track = 0;       // BCD; 0xAA: the lead-out
    uint8_t index = 1;
    int32_t lba = 0;  // LSN; -150 is track 1's pregap
  };
  struct Track {
    int64_t index0 = 0, index1 = 0, end = 0;  // byte offsets in the file
  };
  std::string sectors;
  std::vector<Cue> cues;
  std::vector<Track> tracks;
  int firstTrack = 1, lastTrack = 0;
  // Forgeries: bytes added to the CUEX data; the size CUEX's header claims
  // (-1: its own); the footer's offset (-1: where the chunks start); an old
  // NERO footer (a 32-bit offset); the chunks cut to this many bytes.
  std::string cuexTail;
  int64_t cuexSize = -1;
  int64_t footerOffset = -1;
  bool versionOne = false;
  size_t chunkBytes = SIZE_MAX;

  std::string bytes() const;
};

// The plan as a Nero image: the same table of contents and the same audio
// as writeDisc gives it. Audio tracks only (empty `sectors` otherwise).
NeroImage neroImage(const DiscPlan& disc);

// Writes `nrgPath` (see NeroImage). Returns an empty string on success, else
// what went wrong.
std::string writeNrg(const std::string& nrgPath, const DiscPlan& disc);

// The four-track demo disc: 20 to 40 s pieces in different keys, tempi and
// timbres.
DiscPlan demoDisc();

// The sample of `channel` (0 left, 1 right) at frame `frame` of a track;
// what writeDisc puts in the image.
int16_t sampleAt(const TrackPlan& track, int64_t frame, int channel);

}  // namespace discgen
