#include "disc/AlsaOutput.h"

#include <cerrno>

#include "disc/AlsaQuiet.h"

AlsaOutput::AlsaOutput(std::string pcm, unsigned latencyUs)
    : name_(std::move(pcm)), latencyUs_(latencyUs) {}

AlsaOutput::~AlsaOutput() {
  if (pcm_) snd_pcm_close(pcm_);
}

bool AlsaOutput::open() {
  quietAlsa();
  if (pcm_) return true;
  if (snd_pcm_open(&pcm_, name_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
    pcm_ = nullptr;
    return false;
  }
  if (snd_pcm_set_params(pcm_, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 2, 44100, 1,
                         latencyUs_) < 0) {
    snd_pcm_close(pcm_);
    pcm_ = nullptr;
    return false;
  }
  return true;
}

int64_t AlsaOutput::write(const int16_t* frames, int64_t count, const std::atomic<bool>& abort) {
  if (!pcm_) return -1;
  int64_t done = 0;
  int failures = 0;
  while (done < count && !abort.load(std::memory_order_relaxed)) {
    const snd_pcm_sframes_t n =
        snd_pcm_writei(pcm_, frames + done * 2, static_cast<snd_pcm_uframes_t>(count - done));
    if (n >= 0) {
      done += n;
      failures = 0;
    } else if (n == -EAGAIN) {
      // Full: wait for room, a little at a time so an abort is seen soon.
      snd_pcm_wait(pcm_, 20);
    } else if (snd_pcm_recover(pcm_, static_cast<int>(n), 1) < 0 || ++failures > 5) {
      return -1;
    }
  }
  return done;
}

int64_t AlsaOutput::delay() {
  if (!pcm_) return 0;
  snd_pcm_sframes_t d = 0;
  if (snd_pcm_delay(pcm_, &d) < 0 || d < 0) return 0;
  return d;
}

void AlsaOutput::drop() {
  if (!pcm_) return;
  snd_pcm_drop(pcm_);
  snd_pcm_prepare(pcm_);
}

AudioOutputFactory AlsaOutput::factory() {
  return [] { return std::make_unique<AlsaOutput>(); };
}
