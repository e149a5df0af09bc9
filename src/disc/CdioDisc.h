#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One track of a disc's table of contents, in sectors (75 per second).
struct DiscTrack {
  int32_t lsn = 0;      // first sector (INDEX 01); LBA = LSN + 150
  int32_t sectors = 0;  // up to the next track's start or the lead-out
  bool audio = true;
};

struct DiscToc {
  std::vector<DiscTrack> tracks;  // empty: no disc
  int32_t leadOutLsn = 0;
};

inline constexpr int32_t kLeadInSectors = 150;      // LBA of LSN 0
inline constexpr int32_t kFramesPerSector = 588;    // 44.1 kHz stereo frames
inline constexpr int32_t kSamplesPerSector = 1176;  // 16-bit samples, both channels
inline constexpr int32_t kMaxSectorsPerRead = 25;

// Where the playback worker gets audio sectors from. Used by one thread at a
// time: the worker, once the device is open.
class SectorSource {
 public:
  virtual ~SectorSource() = default;
  // Reads `count` (1..kMaxSectorsPerRead) audio sectors from `lsn` into `out`
  // (count * kSamplesPerSector interleaved little-endian samples). Retries a
  // bounded number of times; false when the sectors cannot be read.
  virtual bool read(int32_t lsn, int32_t count, int16_t* out) = 0;
  // False once the disc is known to have left the drive.
  virtual bool present() = 0;
  // Opens a drive's tray; an image is only closed. The source reads nothing
  // afterwards.
  virtual void eject() = 0;
  virtual bool isDrive() const = 0;
};

// A drive or a disc image (.cue/.bin, cdrdao .toc, .nrg) opened through
// libcdio. Drives are read through paranoia, images directly.
class CdioDisc : public SectorSource {
 public:
  // Opens `path`; an empty path is the machine's default drive. Reads the
  // table of contents. Returns null when nothing could be opened, with the
  // reason, in Spanish, in `*reason`. A drive without a disc opens with an
  // empty table of contents.
  static std::unique_ptr<CdioDisc> open(const std::string& path, std::string* reason);

  ~CdioDisc() override;
  CdioDisc(const CdioDisc&) = delete;
  CdioDisc& operator=(const CdioDisc&) = delete;

  const DiscToc& toc() const { return toc_; }

  bool read(int32_t lsn, int32_t count, int16_t* out) override;
  bool present() override;
  void eject() override;
  bool isDrive() const override { return drive_; }

 private:
  struct Handles;
  CdioDisc();
  bool readParanoia(int32_t lsn, int32_t count, int16_t* out);

  std::unique_ptr<Handles> h_;
  DiscToc toc_;
  bool drive_ = false;
  int32_t paranoiaNext_ = -1;  // the sector paranoia reads next; -1: unknown
};

// Why `path`, given on the command line, cannot be played, in Spanish; empty
// when it can be opened. Checks that the file exists and is readable and that
// a .cue sheet's FILE line names the .bin libcdio will read (the one with the
// sheet's base name).
std::string discPathProblem(const std::string& path);
