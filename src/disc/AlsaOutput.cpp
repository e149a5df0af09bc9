#include "disc/AlsaOutput.h"

#include <poll.h>
#include <algorithm>

#include <cerrno>
#include <vector>

#include "disc/AlsaQuiet.h"

AlsaOutput::AlsaOutput(std::string pcm, unsigned latencyUs)
    : name_(std::move(pcm)), latencyUs_(latencyUs) {}

bool AlsaOutput::open() {
  quietAlsa();
  if (pcm_) return true;
  snd_pcm_t* pcm = nullptr;
  if (snd_pcm_open(&pcm, name_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
    return false;
  pcm_.reset(pcm);
  if (!configure()) pcm_.reset();
  return pcm_ != nullptr;
}

bool AlsaOutput::configure() {
  snd_pcm_hw_params_t* hw = nullptr;
  snd_pcm_hw_params_alloca(&hw);
  unsigned rate = 44100;
  unsigned buffer = latencyUs_;
  unsigned period = latencyUs_ / 4;
  int dir = 0;
  if (snd_pcm_hw_params_any(pcm_.get(), hw) < 0 ||
      snd_pcm_hw_params_set_access(pcm_.get(), hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
      snd_pcm_hw_params_set_format(pcm_.get(), hw, SND_PCM_FORMAT_S16_LE) < 0 ||
      snd_pcm_hw_params_set_channels(pcm_.get(), hw, 2) < 0 ||
      snd_pcm_hw_params_set_rate_resample(pcm_.get(), hw, 1) < 0 ||
      snd_pcm_hw_params_set_rate_near(pcm_.get(), hw, &rate, nullptr) < 0 || rate != 44100 ||
      snd_pcm_hw_params_set_buffer_time_near(pcm_.get(), hw, &buffer, &dir) < 0 ||
      snd_pcm_hw_params_set_period_time_near(pcm_.get(), hw, &period, &dir) < 0 ||
      snd_pcm_hw_params(pcm_.get(), hw) < 0)
    return false;
  snd_pcm_uframes_t bufferFrames = 0;
  snd_pcm_uframes_t periodFrames = 0;
  snd_pcm_get_params(pcm_.get(), &bufferFrames, &periodFrames);
  bufferFrames_ = static_cast<int64_t>(bufferFrames);
  // Start once a period is written: a start of playback is heard as soon as
  // its first read has come.
  snd_pcm_sw_params_t* sw = nullptr;
  snd_pcm_sw_params_alloca(&sw);
  if (snd_pcm_sw_params_current(pcm_.get(), sw) < 0 ||
      snd_pcm_sw_params_set_start_threshold(pcm_.get(), sw,
                                            std::max<snd_pcm_uframes_t>(periodFrames, 1)) < 0 ||
      snd_pcm_sw_params_set_avail_min(pcm_.get(), sw, periodFrames) < 0 ||
      snd_pcm_sw_params(pcm_.get(), sw) < 0)
    return false;
  return true;
}

int64_t AlsaOutput::write(const int16_t* frames, int64_t count, const AbortSignal& abort) {
  if (!pcm_) return -1;
  int64_t done = 0;
  int failures = 0;
  while (done < count && !abort.raised()) {
    const snd_pcm_sframes_t n =
        snd_pcm_writei(pcm_.get(), frames + done * 2, static_cast<snd_pcm_uframes_t>(count - done));
    if (n >= 0) {
      done += n;
      failures = 0;
    } else if (n == -EAGAIN) {
      waitForRoom(count - done, abort);
    } else if (snd_pcm_recover(pcm_.get(), static_cast<int>(n), 1) < 0 || ++failures > 5) {
      return -1;
    }
  }
  return done;
}

void AlsaOutput::waitForRoom(int64_t frames, const AbortSignal& abort) {
  // How long until the frames wanted are free, by the output's count; at
  // least a couple of ms (the count may lag), at most half a second (an
  // output that stalls is asked again now and then).
  const int64_t want = std::max(std::min(frames, bufferFrames_), bufferFrames_ / 2);
  const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_.get());
  const int64_t missing = avail < 0 ? want : want - avail;
  const int ms = static_cast<int>(std::clamp<int64_t>(missing * 1000 / 44100, 2, 500));
  if (abort.fd() < 0) {
    ::poll(nullptr, 0, ms);
    return;
  }
  pollfd fd{abort.fd(), POLLIN, 0};
  ::poll(&fd, 1, ms);
}

int64_t AlsaOutput::delay() {
  if (!pcm_) return 0;
  snd_pcm_sframes_t d = 0;
  if (snd_pcm_delay(pcm_.get(), &d) < 0 || d < 0) return 0;
  return d;
}

void AlsaOutput::drop() {
  if (!pcm_) return;
  snd_pcm_drop(pcm_.get());
  snd_pcm_prepare(pcm_.get());
}

void AlsaOutput::flush() {
  if (pcm_ && snd_pcm_state(pcm_.get()) == SND_PCM_STATE_PREPARED) snd_pcm_start(pcm_.get());
}

AudioOutputFactory AlsaOutput::factory() {
  return [] { return std::make_unique<AlsaOutput>(); };
}
