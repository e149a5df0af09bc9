#pragma once

#include <memory>
#include <string>
#include <vector>

#include "disc/AudioOutput.h"
#include "disc/CdDevice.h"
#include "disc/CdioDisc.h"
#include "disc/Playback.h"
#include "disc/Transport.h"

// The real CD-audio device: a drive or a disc image read through libcdio and
// played digitally on a worker thread (see Playback).
//
// Times are ms from the start of the disc as a drive reports them:
// ms = LBA * 40 / 3 (LBA = LSN + 150), so track 1 starts at 2000 ms.
class CdioDevice : public CdDevice {
 public:
  // `path` empty: the machine's default drive. `output` gives the audio
  // output (ALSA's default PCM unless a test supplies its own).
  explicit CdioDevice(std::string path, AudioOutputFactory output = {},
                      Playback::ClockUs clock = Playback::steadyClock());
  ~CdioDevice() override;

  // How long open() waits for a drive to give its table of contents, ms;
  // a drive that takes longer is reported as holding no disc.
  static constexpr int kOpenTimeoutMs = 8000;

  void open() override;
  void close() override;
  void play() override;
  void stop() override;
  void seek(int32_t ms) override;
  void pause() override;
  void previous() override;
  void next() override;
  void eject() override;

  int32_t tracks() const override;
  int32_t trackPosition(int32_t track) const override;
  int32_t trackLength(int32_t track) const override;
  int32_t position() const override;
  DeviceMode mode() const override;
  bool canEject() const override;

  // Frames (1/44100 s, from the start of the disc) to ms, rounding down, and
  // ms to the first frame at or after it.
  static int32_t msOfFrame(int64_t frame);
  static int64_t frameOfMs(int64_t ms);

 private:
  // The frame a ms position stands for: a track's exact first frame when
  // `ms` is that track's start.
  int64_t frameFor(int32_t ms) const;
  const std::vector<TocEntry>& tocMs() const;

  std::string path_;
  AudioOutputFactory outputFactory_;
  Playback::ClockUs clock_;
  std::vector<TocEntry> toc_;    // ms
  std::vector<int64_t> starts_;  // frames, per track
  std::unique_ptr<Playback> playback_;
  bool isDrive_ = false;
  int64_t lastPreviousUs_ = INT64_MIN / 2;
};
