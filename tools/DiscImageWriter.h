#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes small CD images (a .cue sheet and its raw .bin) of synthesized audio:
// the demo disc and the images the tests play. Audio is 44.1 kHz, 16-bit
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

// The four-track demo disc: 20 to 40 s pieces in different keys, tempi and
// timbres.
DiscPlan demoDisc();

// The sample of `channel` (0 left, 1 right) at frame `frame` of a track;
// what writeDisc puts in the image.
int16_t sampleAt(const TrackPlan& track, int64_t frame, int channel);

}  // namespace discgen
