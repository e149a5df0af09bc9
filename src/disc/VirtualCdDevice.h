#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "disc/CdDevice.h"
#include "disc/Clock.h"
#include "disc/Transport.h"

// A disc that exists only in memory: a table of contents and a clock (us). It
// behaves as a drive does (open at track 1, play advances with the clock,
// stop keeps the position, seek works while stopped) and keeps a log of the
// commands it received, so tests can check what the program asked of it.
//
// Seeks are brought onto the disc: a target before track 1 goes to the start
// of track 1, a target at or past the lead-out to the lead-out. Playback that
// reaches the lead-out stops at the start of track 1, as the real device
// does. Data tracks are skipped while playing.
class VirtualCdDevice : public CdDevice {
 public:
  VirtualCdDevice(std::vector<TocEntry> toc, Clock clock);

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
  bool canEject() const override { return true; }
  CdText text(int32_t track) const override;

  // Gives the inserted disc CD-Text: the album's for track 0, else the
  // track's. Read back while the disc is in the device.
  void setText(int32_t track, CdText text);

  // Every command received, in order: "open", "play", "seek 101000", ...
  const std::vector<std::string>& log() const { return log_; }

 private:
  // Brings a playing position up to the clock: skips data tracks and stops
  // at the start of track 1 when the disc runs out.
  void advance() const;
  void jumpTo(int32_t ms);

  std::vector<TocEntry> disc_;      // the inserted disc
  std::vector<TocEntry> toc_;       // what the device has read; empty = no disc
  std::map<int32_t, CdText> text_;  // the inserted disc's, by track (0: album)
  Clock clock_;
  std::vector<std::string> log_;
  mutable DeviceMode mode_ = DeviceMode::NotOpen;
  mutable int32_t position_ = 0;  // while playing: the position at anchor_
  mutable int64_t anchorUs_ = 0;  // clock reading matching position_
};
