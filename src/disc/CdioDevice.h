#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "disc/AudioOutput.h"
#include "disc/CdDevice.h"
#include "disc/DriveWatch.h"
#include "disc/Playback.h"
#include "disc/Transport.h"
#include "sources/DiscOpener.h"

// The real CD-audio device: a disc in a drive, an image or a rip, played
// digitally on a worker thread (see Playback).
//
// Times are ms from the start of the disc as a drive reports them (see
// sources/DiscUnits.h): track 1 starts at 2000 ms.
//
// On a drive the device watches the tray (see DriveWatch): a disc that
// arrives is opened and stands stopped at track 1, and a disc that leaves
// leaves the device without a disc; either is announced through the disc
// change handler. Eject opens the tray, or closes it when it is open. open()
// waits for a drive's table of contents at most DiscAccess::driveOpenWaitMs;
// a disc that takes longer arrives as a disc change.
class CdioDevice : public CdDevice {
 public:
  // `path` empty: the machine's default drive. `output` gives the audio
  // output (ALSA's default PCM unless a test supplies its own); `access`
  // reaches drives and images (the system's unless a test supplies its own).
  explicit CdioDevice(std::string path, AudioOutputFactory output = {}, Clock clock = steadyClock(),
                      DiscAccess access = DiscAccess::system());
  ~CdioDevice() override;

  // The read speed asked of a drive while its disc is open, x real time.
  static constexpr int kQuietSpeed = 4;

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
  CdText text(int32_t track) const override;
  void setPath(const std::string& path) override;
  // Reads the image, or starts watching the drive and waits for its first
  // reading (DiscAccess::driveOpenWaitMs at most), as open() would.
  DiscPreparer preparer() const override;
  void adopt(const std::string& path, std::unique_ptr<PreparedDisc> disc) override;
  void setDiscChangeHandler(DiscChangeHandler handler) override;

 private:
  struct Prepared;
  // The watch's reports for the open of `generation`.
  DriveWatch::Report reportFor(uint64_t generation);
  // Puts `disc` (null: none) in the device, stopped at the start of track 1.
  void install(std::shared_ptr<SectorSource> disc);
  // The frame a ms position stands for: a track's exact first frame when
  // `ms` is that track's start.
  int64_t frameFor(int32_t ms) const;
  const std::vector<TocEntry>& tocMs() const;

  std::string path_;
  AudioOutputFactory outputFactory_;
  Clock clock_;
  DiscAccess access_;
  DiscToc disc_;                 // as the source gave it
  std::vector<TocEntry> toc_;    // ms
  std::vector<int64_t> starts_;  // frames, per track
  std::unique_ptr<Playback> playback_;
  std::unique_ptr<DriveWatch> watch_;
  std::unique_ptr<Prepared> prepared_;  // adopted, for the next open() of its path
  uint64_t generation_ = 0;             // bumped by open, close and setPath

  // The disc change handler, shared with the watching thread's reports.
  struct Announcer {
    std::mutex m;
    DiscChangeHandler handler;
  };
  const std::shared_ptr<Announcer> announcer_ = std::make_shared<Announcer>();
};
