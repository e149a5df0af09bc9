#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "sources/SectorSource.h"

// The state a CD-audio device reports to the transport bar.
enum class DeviceMode { NotOpen, NoDisc, Stopped, Playing, Paused };

// A disc made ready for a device ahead of its open() (see CdDevice::preparer).
class PreparedDisc {
 public:
  virtual ~PreparedDisc() = default;
};

// The slow half of opening `path`: the disc made ready, or null with the
// reason, in Spanish, in `*problem` when it cannot be played.
using DiscPreparer =
    std::function<std::unique_ptr<PreparedDisc>(const std::string& path, std::string* problem)>;

// A CD-audio device: a drive, a disc image or a virtual disc.
//
// Contract shared by every implementation:
// - Positions and lengths are signed 32-bit milliseconds from the start of
//   the disc (track 1 of a standard disc starts at 2000 ms).
// - No call throws and commands report nothing: a command that cannot be
//   carried out (no disc, not open) leaves the device as it was.
// - No call waits on drive I/O for long, so every call is safe on the
//   window's thread: open() reads an image's table of contents before it
//   returns, and waits for a drive's at most a few seconds (a disc that takes
//   longer arrives later as a disc change, see setDiscChangeHandler).
// - Tracks are numbered from 1; queries for a track outside 1..tracks()
//   return 0.
class CdDevice {
 public:
  virtual ~CdDevice() = default;

  // Opens the device and reads the table of contents; the position is then
  // the start of track 1 (0 and mode NoDisc when there is no disc).
  virtual void open() = 0;
  virtual void close() = 0;

  // Starts playback from the current position (also resumes a pause).
  virtual void play() = 0;
  // Stops playback and keeps the position.
  virtual void stop() = 0;
  // Moves the position to `ms`; a playing disc stops, a paused one stays
  // paused there.
  virtual void seek(int32_t ms) = 0;
  // Pauses playback; pausing again while paused resumes.
  virtual void pause() = 0;
  // To the start of the current track; within its first 3 s, to the start
  // of the previous one (see previousTarget). Keeps playing when the disc
  // was playing.
  virtual void previous() = 0;
  // To the start of the next track (the last track: its own start). Keeps
  // playing when the disc was playing.
  virtual void next() = 0;
  // Opens the drive's tray or closes the image; the device then has no disc.
  virtual void eject() = 0;

  virtual int32_t tracks() const = 0;
  virtual int32_t trackPosition(int32_t track) const = 0;
  virtual int32_t trackLength(int32_t track) const = 0;
  // The position of the audio being heard, ms.
  virtual int32_t position() const = 0;
  virtual DeviceMode mode() const = 0;
  virtual bool canEject() const = 0;

  // CD-Text of track `track` (1..tracks()), or the album's for track 0;
  // empty where the disc has none.
  virtual CdText text(int32_t track) const {
    (void)track;
    return {};
  }

  // The drive or image the next open() opens; the device's own until set.
  virtual void setPath(const std::string& path) { (void)path; }

  // Opening another disc without waiting, in two halves. preparer() gives
  // the slow half (reading an image's table of contents, waiting for a
  // drive's disc) as a function that may run on any thread, also while the
  // device plays; a call of it may be abandoned through the calling thread's
  // Cancellation (sources/Cancellation.h). Null when open() is quick by
  // itself. adopt() hands the device a disc its preparer made ready for
  // `path`: the next open() of `path` then takes it without any I/O.
  virtual DiscPreparer preparer() const { return {}; }
  virtual void adopt(const std::string& path, std::unique_ptr<PreparedDisc> disc) {
    (void)path;
    (void)disc;
  }

  // A disc that arrives in, or leaves, a watched drive changes the device by
  // itself. The device then calls `handler` (from any thread) with the change
  // to apply; the receiver runs it on the thread that commands the device and
  // then reads the new table of contents. A change that arrives after close()
  // or setPath() does nothing when applied.
  using DiscChangeHandler = std::function<void(std::function<void()> apply)>;
  virtual void setDiscChangeHandler(DiscChangeHandler handler) { (void)handler; }
};
