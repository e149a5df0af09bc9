#pragma once

#include <cstdint>

// Units on a disc and every conversion between them.
//
// A sector is 1/75 s of audio: 588 stereo frames of 16-bit samples (2352
// bytes). LSN 0 is the first sector after the 2 s lead-in: LBA = LSN + 150.
// Frames from the start of the disc are LBA * 588 (LSN 0 is frame 88200),
// and ms from the start of the disc, as a drive reports them, LBA * 40 / 3
// (LSN 0 is 2000 ms).
inline constexpr int32_t kLeadInSectors = 150;  // LBA of LSN 0
inline constexpr int32_t kSectorsPerSecond = 75;
inline constexpr int32_t kFramesPerSector = 588;    // 44.1 kHz stereo frames
inline constexpr int32_t kSamplesPerSector = 1176;  // 16-bit samples, both channels
inline constexpr int32_t kBytesPerSector = 2352;
inline constexpr int64_t kFrameRate = 44100;  // frames per second

// The disc frame where sector `lsn` starts.
constexpr int64_t frameOfLsn(int64_t lsn) {
  return (lsn + kLeadInSectors) * kFramesPerSector;
}
// The sector that holds disc frame `frame` (at or after LSN -150).
constexpr int64_t lsnOfFrame(int64_t frame) {
  return frame / kFramesPerSector - kLeadInSectors;
}
// The length of `sectors` in ms, rounded down.
constexpr int32_t msOfSectors(int64_t sectors) {
  return static_cast<int32_t>(sectors * 40 / 3);
}
// Where sector `lsn` starts, ms from the start of the disc, rounded down.
constexpr int32_t msOfLsn(int64_t lsn) {
  return msOfSectors(lsn + kLeadInSectors);
}
// Disc frame to ms, rounded down.
constexpr int32_t msOfFrame(int64_t frame) {
  return static_cast<int32_t>(frame * 10 / 441);
}
// The first disc frame at or after `ms`.
constexpr int64_t frameOfMs(int64_t ms) {
  return (ms * 441 + 9) / 10;
}
// A count of frames in us, and us in frames, rounded down.
constexpr int64_t usOfFrames(int64_t frames) {
  return frames * 1000000 / kFrameRate;
}
constexpr int64_t framesOfUs(int64_t us) {
  return us * kFrameRate / 1000000;
}
// Minutes, seconds and sectors (M:S:F, as sheets write them) in sectors.
constexpr int64_t sectorsOfMsf(int64_t minutes, int64_t seconds, int64_t sectors) {
  return (minutes * 60 + seconds) * kSectorsPerSecond + sectors;
}
