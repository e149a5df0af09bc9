#pragma once

#include <cstdint>
#include <memory>
#include <string>

// What decodes a file for AudioFile: frames of the file's own rate and
// channels, interleaved floats at full scale +-1.0.
class Decoder {
 public:
  virtual ~Decoder() = default;
  // Moves to `frame`; false on failure.
  virtual bool seek(int64_t frame) = 0;
  // Up to `count` frames into `out`; fewer only at the end of the file; -1
  // when the decoder failed.
  virtual int64_t read(float* out, int64_t count) = 0;
  // After a failure: the system's (a read error) rather than the data's.
  virtual bool systemFailed() const = 0;
  // Starts decoding afresh from the start of the file; false when it no
  // longer decodes as it did.
  virtual bool restart() = 0;
};

// A decoded stream's own format: its rate (Hz), channels and length (frames).
struct StreamFormat {
  int rate = 0;
  int channels = 0;
  int64_t frames = 0;
};

// MPEG audio (MP3, MP2) through libmpg123, libsndfile's own decoder for it,
// used directly: libsndfile only estimates an MP3's length when no Xing or
// Info frame gives it (from the size of the file and its first frame's bit
// rate), and ends every read at that estimate, cutting the audio short or
// making the last track longer than its audio. Opening scans every frame's
// header instead, which gives the exact length: it reads the whole file once
// (a 46-minute MP3: under 10 ms from the page cache, under 100 ms from the
// disk; see velmar-rip-bench).
//
// Reads the file open as `fd` with pread() (its offset is left alone); the
// descriptor stays the caller's and must outlive the decoder. `*format`
// receives the stream's format. Null with the reason in `*why` (to follow
// the file's name).
std::unique_ptr<Decoder> openMpegDecoder(int fd, StreamFormat* format, std::string* why);
