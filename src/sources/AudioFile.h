#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sources/DiscLayout.h"
#include "sources/RegularFile.h"

// One file of a rip, read as what a CD holds: 44.1 kHz frames of 16-bit
// stereo, interleaved, in the machine's byte order.
//
// Raw files (a sheet's BINARY, little-endian, and MOTOROLA, big-endian; a
// TOC's files not named .wav, big-endian) are read as they are, from a byte
// offset, unless they start with a WAVE, FLAC, AIFF or Ogg header (and no
// offset is given): then they are decoded as what they are. Every other file is decoded by
// libsndfile: other sample widths become 16-bit, mono is played on both
// channels, and other sample rates are converted to 44.1 kHz by
// libsamplerate's band-limited converter. Files of more than two channels
// are refused.
//
// The file stays open; reads are cheapest in order (the decoder only seeks
// when a read does not start where the last one ended).
class AudioFile {
 public:
  // The rate of CD audio, Hz.
  static constexpr int kRate = 44100;

  // Opens `path`, a regular file, which a rip declares of kind `declared`;
  // the samples of a raw file start at byte `rawOffset`. Null with the
  // reason in `*why`, phrased to follow the file's name ("no existe", "está
  // vacío", "tiene 6 canales; un CD solo tiene 2").
  static std::unique_ptr<AudioFile> open(const std::string& path, FileKind declared,
                                         std::string* why, int64_t rawOffset = 0);

  virtual ~AudioFile() = default;
  AudioFile(const AudioFile&) = delete;
  AudioFile& operator=(const AudioFile&) = delete;

  // 44.1 kHz frames the file held when it was opened.
  int64_t frames() const { return frames_; }

  // Reads `count` frames from `frame` (frame + count <= frames()) into `out`.
  // Returns the frames read: fewer when the file now ends before them; -1 on
  // a read error, with the error number in `*err`, or 0 there when the data
  // cannot be decoded (damaged or incomplete).
  virtual int64_t read(int64_t frame, int64_t count, int16_t* out, int* err) = 0;
  // Forgets where the decoder stands, so the next read seeks afresh.
  virtual void resync() {}
  // The file is now shorter than when it was opened.
  bool shrunk() const;

 protected:
  AudioFile(UniqueFd fd, int64_t bytes) : fd_(std::move(fd)), bytes_(bytes) {}

  UniqueFd fd_;
  int64_t bytes_ = 0;
  int64_t frames_ = 0;
};
