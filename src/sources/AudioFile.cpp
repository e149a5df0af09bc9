#include "sources/AudioFile.h"

#include <samplerate.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <numeric>
#include <vector>

#include "sources/AudioDecoder.h"

namespace {

// The longest audio a file may hold: what a disc holds.
constexpr int64_t kMaxFrames = int64_t{kMaxDiscSectors} * kFramesPerSector;

uint16_t swap16(uint16_t v) {
  return static_cast<uint16_t>((v >> 8) | (v << 8));
}

// A file whose first bytes say it is a container a decoder reads.
bool hasAudioHeader(int fd) {
  char h[12] = {};
  if (preadAll(fd, h, sizeof h, 0) != static_cast<ssize_t>(sizeof h)) return false;
  auto is = [&](size_t at, const char* tag) { return std::memcmp(h + at, tag, 4) == 0; };
  return ((is(0, "RIFF") || is(0, "RIFX") || is(0, "RF64")) && is(8, "WAVE")) ||
         (is(0, "FORM") && (is(8, "AIFF") || is(8, "AIFC"))) || is(0, "fLaC") || is(0, "OggS");
}

// Raw 16-bit stereo samples.
class RawFile : public AudioFile {
 public:
  RawFile(UniqueFd fd, int64_t bytes, int64_t offset, bool bigEndian)
      : AudioFile(std::move(fd), bytes), offset_(offset) {
    frames_ = (bytes - offset) / 4;
    swap_ = bigEndian != (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__);
  }

  int64_t read(int64_t frame, int64_t count, int16_t* out, int* err) override {
    const ssize_t got =
        preadAll(fd_.get(), out, static_cast<size_t>(count) * 4, offset_ + frame * 4);
    if (got < 0) {
      *err = errno;
      return -1;
    }
    const int64_t frames = got / 4;
    if (swap_)
      for (int64_t i = 0; i < frames * 2; ++i)
        out[i] = static_cast<int16_t>(swap16(static_cast<uint16_t>(out[i])));
    return frames;
  }

 private:
  int64_t offset_ = 0;  // bytes before the first sample
  bool swap_ = false;
};

struct SndfileCloser {
  void operator()(SNDFILE* f) const { sf_close(f); }
};
struct SrcCloser {
  void operator()(SRC_STATE* s) const { src_delete(s); }
};

// Every format libsndfile reads (but MPEG, whose length it only estimates).
class SndfileDecoder : public Decoder {
 public:
  SndfileDecoder(int fd, std::unique_ptr<SNDFILE, SndfileCloser> sf, const SF_INFO& info)
      : fd_(fd), sf_(std::move(sf)), info_(info) {}

  bool seek(int64_t frame) override { return sf_seek(sf_.get(), frame, SEEK_SET) == frame; }
  int64_t read(float* out, int64_t count) override {
    const sf_count_t got = sf_readf_float(sf_.get(), out, count);
    if (got < 0 || (got < count && sf_error(sf_.get()) != SF_ERR_NO_ERROR)) return -1;
    return got;
  }
  bool systemFailed() const override { return !sf_ || sf_error(sf_.get()) == SF_ERR_SYSTEM; }
  bool restart() override {
    sf_.reset();
    SF_INFO info{};
    // libsndfile takes the descriptor's offset as the start of the file.
    if (::lseek(fd_, 0, SEEK_SET) != 0) return false;
    sf_.reset(sf_open_fd(fd_, SFM_READ, &info, SF_FALSE));
    return sf_ && info.channels == info_.channels && info.samplerate == info_.samplerate;
  }

 private:
  int fd_;
  std::unique_ptr<SNDFILE, SndfileCloser> sf_;
  SF_INFO info_;
};

// A decoded file, at its own rate or converted to 44.1 kHz.
class DecodedFile : public AudioFile {
 public:
  // `decoder` gives `frames` frames of `channels` at `rate` Hz.
  DecodedFile(UniqueFd fd, int64_t bytes, std::unique_ptr<Decoder> decoder, int rate, int channels,
              int64_t frames)
      : AudioFile(std::move(fd), bytes),
        dec_(std::move(decoder)),
        rate_(rate),
        channels_(channels),
        inFrames_(frames) {}

  // Sets up the conversion; false with the reason in `*why`.
  bool init(std::string* why) {
    if (rate_ == kRate) {
      frames_ = inFrames_;
      return true;
    }
    frames_ = (inFrames_ * kRate + rate_ / 2) / rate_;
    int error = 0;
    src_.reset(src_new(SRC_SINC_MEDIUM_QUALITY, channels_, &error));
    if (!src_) {
      *why = "no se puede convertir a 44,1 kHz";
      return false;
    }
    const int g = std::gcd(rate_, kRate);
    inPeriod_ = rate_ / g;
    outPeriod_ = kRate / g;
    in_.resize(static_cast<size_t>(kChunk * channels_));
    return true;
  }

  int64_t read(int64_t frame, int64_t count, int16_t* out, int* err) override {
    if (reopen_) {
      if (!dec_->restart()) return fail(err);
      if (src_) src_reset(src_.get());
      reopen_ = false;
    }
    float_.resize(static_cast<size_t>(count * channels_));
    const int64_t got = src_ ? readConverted(frame, count, float_.data(), err)
                             : readDirect(frame, count, float_.data(), err);
    if (got <= 0) return got;
    // Full scale is +-1.0; beyond it is clipped.
    if (channels_ == 2) {
      src_float_to_short_array(float_.data(), out, static_cast<int>(got * 2));
    } else {
      mono_.resize(static_cast<size_t>(got));
      src_float_to_short_array(float_.data(), mono_.data(), static_cast<int>(got));
      for (int64_t i = 0; i < got; ++i) out[2 * i] = out[2 * i + 1] = mono_[static_cast<size_t>(i)];
    }
    return got;
  }
  // After an error the decoder may be stuck: the next read starts a new one.
  void resync() override {
    next_ = -1;
    reopen_ = true;
  }

 private:
  static constexpr int64_t kChunk = 4096;    // input frames decoded at a time
  static constexpr int64_t kPreroll = 1024;  // input frames decoded ahead of a seek target

  // A failed read: an error of the system, or of the data (0).
  int64_t fail(int* err) {
    *err = dec_->systemFailed() ? EIO : 0;
    next_ = -1;
    return -1;
  }

  // Decodes `count` frames from `frame` at the file's own rate.
  int64_t readDirect(int64_t frame, int64_t count, float* out, int* err) {
    if (frame != next_) {
      if (!dec_->seek(frame)) return fail(err);
      next_ = frame;
    }
    const int64_t got = dec_->read(out, count);
    if (got < 0) return fail(err);
    next_ += got;
    return got;
  }

  // Moves the converter so that the next output frame is `frame`: decodes
  // from a little before it, where input and output frames coincide exactly,
  // and discards what comes before.
  bool seekConverted(int64_t frame, int* err) {
    int64_t in = frame * rate_ / kRate - kPreroll;
    in = std::max<int64_t>(0, in / inPeriod_ * inPeriod_);
    if (!dec_->seek(in)) {
      fail(err);
      return false;
    }
    src_reset(src_.get());
    inNext_ = in;
    inHave_ = inUsed_ = 0;
    ended_ = false;
    next_ = in / inPeriod_ * outPeriod_;
    std::vector<float> scratch(static_cast<size_t>(kChunk * channels_));
    while (next_ < frame) {
      const int64_t n = std::min<int64_t>(kChunk, frame - next_);
      const int64_t got = convert(scratch.data(), n, err);
      if (got < 0) return false;
      if (got < n) break;
    }
    return true;
  }

  // Converts up to `count` output frames into `out` (interleaved floats of
  // the file's channels). Fewer only when the file ended early.
  int64_t convert(float* out, int64_t count, int* err) {
    int64_t done = 0;
    while (done < count) {
      if (inUsed_ == inHave_ && !ended_) {
        const int64_t got = dec_->read(in_.data(), kChunk);
        if (got < 0) return fail(err);
        inHave_ = got;
        inUsed_ = 0;
        inNext_ += got;
        ended_ = got == 0;
      }
      SRC_DATA d{};
      d.data_in = in_.data() + inUsed_ * channels_;
      d.input_frames = static_cast<long>(inHave_ - inUsed_);
      d.data_out = out + done * channels_;
      d.output_frames = static_cast<long>(count - done);
      d.end_of_input = ended_ ? 1 : 0;
      d.src_ratio = static_cast<double>(kRate) / rate_;
      if (src_process(src_.get(), &d) != 0) return fail(err);
      inUsed_ += d.input_frames_used;
      done += d.output_frames_gen;
      next_ += d.output_frames_gen;
      if (ended_ && d.output_frames_gen == 0) {
        // The converter has given all it holds. A file that ends before its
        // length is short; one that ends where it should is padded with
        // silence to its length.
        if (inNext_ < inFrames_) return done;
        const int64_t pad = std::min(count - done, frames_ - next_);
        if (pad <= 0) return done;
        std::fill(out + done * channels_, out + (done + pad) * channels_, 0.0f);
        done += pad;
        next_ += pad;
      }
    }
    return done;
  }

  int64_t readConverted(int64_t frame, int64_t count, float* out, int* err) {
    if (frame != next_ && !seekConverted(frame, err)) return -1;
    if (frame != next_) return 0;  // the file ended before `frame`
    return convert(out, count, err);
  }

  std::unique_ptr<Decoder> dec_;
  int rate_ = kRate;
  int channels_ = 2;
  int64_t inFrames_ = 0;      // at the file's own rate
  int64_t next_ = 0;          // the output frame the next read gives without a seek; -1: unknown
  bool reopen_ = false;       // the decoder is to be started afresh
  std::vector<float> float_;  // decoded, at full scale +-1.0
  std::vector<int16_t> mono_;

  // Conversion to 44.1 kHz.
  std::unique_ptr<SRC_STATE, SrcCloser> src_;
  int64_t inPeriod_ = 1, outPeriod_ = 1;  // input and output frames that span the same time
  std::vector<float> in_;
  int64_t inHave_ = 0, inUsed_ = 0;  // frames in in_, and of them given to the converter
  int64_t inNext_ = 0;               // the input frame the decoder reads next
  bool ended_ = false;               // the decoder has reached the end of the file
};

}  // namespace

bool AudioFile::shrunk() const {
  struct stat st {};
  return ::fstat(fd_.get(), &st) == 0 && st.st_size < bytes_;
}

std::unique_ptr<AudioFile> AudioFile::open(const std::string& path, FileKind declared,
                                           std::string* why, int64_t rawOffset) {
  struct stat st {};
  UniqueFd fd = openRegularFile(path, why, &st);
  if (!fd) return nullptr;
  if (st.st_size == 0) {
    *why = "está vacío";
    return nullptr;
  }
  if (declared != FileKind::Encoded && (rawOffset > 0 || !hasAudioHeader(fd.get()))) {
    if (rawOffset >= st.st_size) {
      *why = "acaba antes del byte " + std::to_string(rawOffset) + ", donde empezaría su sonido";
      return nullptr;
    }
    if ((st.st_size - rawOffset) / 4 > kMaxFrames) {
      *why = "dura más de lo que cabe en un disco";
      return nullptr;
    }
    return std::make_unique<RawFile>(std::move(fd), st.st_size, rawOffset,
                                     declared == FileKind::BigEndian);
  }

  SF_INFO info{};
  std::unique_ptr<SNDFILE, SndfileCloser> sf(sf_open_fd(fd.get(), SFM_READ, &info, SF_FALSE));
  if (!sf) {
    *why = "no es un archivo de audio que Velmar sepa leer (formato desconocido o dañado)";
    return nullptr;
  }
  std::unique_ptr<Decoder> decoder;
  if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) {
    sf.reset();
    StreamFormat mpeg;
    decoder = openMpegDecoder(fd.get(), &mpeg, why);
    if (!decoder) return nullptr;
    info.samplerate = mpeg.rate;
    info.channels = mpeg.channels;
    info.frames = mpeg.frames;
  } else {
    decoder = std::make_unique<SndfileDecoder>(fd.get(), std::move(sf), info);
  }
  auto file = std::make_unique<DecodedFile>(std::move(fd), st.st_size, std::move(decoder),
                                            info.samplerate, info.channels, info.frames);
  if (info.channels > 2) {
    *why = "tiene " + std::to_string(info.channels) + " canales; un CD solo tiene 2 (estéreo)";
    return nullptr;
  }
  if (info.channels < 1 || info.samplerate < 1000 || info.samplerate > 768000) {
    *why =
        "tiene una frecuencia de muestreo imposible (" + std::to_string(info.samplerate) + " Hz)";
    return nullptr;
  }
  if (info.frames <= 0) {
    *why = "está vacío";
    return nullptr;
  }
  if (info.frames / info.samplerate > kMaxFrames / kRate) {
    *why = "dura más de lo que cabe en un disco";
    return nullptr;
  }
  if (!file->init(why)) return nullptr;
  return file;
}
