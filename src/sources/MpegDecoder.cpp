#include <mpg123.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "sources/AudioDecoder.h"
#include "sources/RegularFile.h"

namespace {

struct Mpg123Closer {
  void operator()(mpg123_handle* h) const { mpg123_delete(h); }
};

class MpegDecoder : public Decoder {
 public:
  explicit MpegDecoder(int fd) : fd_(fd) {}

  // Opens the stream and scans it; false with the reason in `*why`.
  bool open(std::string* why) {
    if (!restart() || mpg123_scan(h_.get()) != MPG123_OK ||
        (frames_ = mpg123_length(h_.get())) <= 0) {
      *why = "no es un archivo de audio que Velmar sepa leer (formato desconocido o dañado)";
      return false;
    }
    return true;
  }
  int rate() const { return static_cast<int>(rate_); }
  int channels() const { return channels_; }
  int64_t frames() const { return frames_; }

  bool seek(int64_t frame) override {
    return mpg123_seek(h_.get(), static_cast<off_t>(frame), SEEK_SET) == frame;
  }
  int64_t read(float* out, int64_t count) override {
    int64_t got = 0;
    while (got < count) {
      size_t bytes = 0;
      const int r = mpg123_read(h_.get(), out + got * channels_,
                                static_cast<size_t>(count - got) * frameBytes(), &bytes);
      got += static_cast<int64_t>(bytes / frameBytes());
      if (r == MPG123_DONE) break;
      if (r == MPG123_NEW_FORMAT && sameFormat()) continue;
      if (r != MPG123_OK) return -1;
    }
    return got;
  }
  bool systemFailed() const override { return error_ != 0; }
  bool restart() override {
    h_.reset(mpg123_new(nullptr, nullptr));
    if (!h_) return false;
    mpg123_param(h_.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    // Floats at the stream's own rate and channels, whatever they are.
    const long* rates = nullptr;
    size_t n = 0;
    mpg123_rates(&rates, &n);
    mpg123_format_none(h_.get());
    for (size_t i = 0; i < n; ++i)
      mpg123_format(h_.get(), rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
    mpg123_replace_reader_handle(h_.get(), readAt, seekTo, nullptr);
    at_ = 0;
    error_ = 0;
    const long rate = rate_;
    const int channels = channels_;
    int encoding = 0;
    if (mpg123_open_handle(h_.get(), this) != MPG123_OK ||
        mpg123_getformat(h_.get(), &rate_, &channels_, &encoding) != MPG123_OK ||
        encoding != MPG123_ENC_FLOAT_32 || channels_ < 1)
      return false;
    return rate == 0 || (rate == rate_ && channels == channels_);
  }

 private:
  static constexpr size_t kBufferBytes = 64 * 1024;

  size_t frameBytes() const { return sizeof(float) * static_cast<size_t>(channels_); }
  bool sameFormat() {
    long rate = 0;
    int channels = 0, encoding = 0;
    return mpg123_getformat(h_.get(), &rate, &channels, &encoding) == MPG123_OK && rate == rate_ &&
           channels == channels_ && encoding == MPG123_ENC_FLOAT_32;
  }

  // The decoder's reads, from a buffer of the file read with pread() (the
  // decoder reads a frame at a time, a few hundred bytes).
  static ssize_t readAt(void* self, void* out, size_t n) {
    auto& d = *static_cast<MpegDecoder*>(self);
    size_t done = 0;
    while (done < n) {
      if (d.at_ >= d.bufAt_ && d.at_ < d.bufAt_ + static_cast<off_t>(d.buf_.size())) {
        const size_t from = static_cast<size_t>(d.at_ - d.bufAt_);
        const size_t k = std::min(n - done, d.buf_.size() - from);
        std::memcpy(static_cast<char*>(out) + done, d.buf_.data() + from, k);
        done += k;
        d.at_ += static_cast<off_t>(k);
        continue;
      }
      d.buf_.resize(kBufferBytes);
      const ssize_t got = preadAll(d.fd_, d.buf_.data(), kBufferBytes, d.at_);
      d.buf_.resize(got > 0 ? static_cast<size_t>(got) : 0);
      d.bufAt_ = d.at_;
      if (got < 0) {
        d.error_ = errno;
        return -1;
      }
      if (got == 0) break;
    }
    return static_cast<ssize_t>(done);
  }
  static off_t seekTo(void* self, off_t offset, int whence) {
    auto& d = *static_cast<MpegDecoder*>(self);
    struct stat st {};
    const off_t base = whence == SEEK_SET         ? 0
                       : whence == SEEK_CUR       ? d.at_
                       : ::fstat(d.fd_, &st) == 0 ? st.st_size
                                                  : -1;
    if (base < 0 || base + offset < 0) return -1;
    return d.at_ = base + offset;
  }

  int fd_;
  std::unique_ptr<mpg123_handle, Mpg123Closer> h_;
  long rate_ = 0;
  int channels_ = 0;
  int64_t frames_ = 0;
  off_t at_ = 0;  // where the decoder reads next, bytes
  std::vector<char> buf_;
  off_t bufAt_ = 0;  // the file offset of buf_
  int error_ = 0;    // the last read error
};

}  // namespace

std::unique_ptr<Decoder> openMpegDecoder(int fd, StreamFormat* format, std::string* why) {
  auto mpeg = std::make_unique<MpegDecoder>(fd);
  if (!mpeg->open(why)) return nullptr;
  *format = {mpeg->rate(), mpeg->channels(), mpeg->frames()};
  return mpeg;
}
