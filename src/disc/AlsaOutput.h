#pragma once

#include <alsa/asoundlib.h>

#include <memory>
#include <string>

#include "disc/AudioOutput.h"

// ALSA's PCM (by default "default", which reaches PulseAudio or PipeWire on a
// desktop), opened non-blocking so that a stalled server never holds the
// writer past an abort.
//
// The buffer holds about latencyUs of audio and playback starts once a
// quarter of it is written. A write that finds no room sleeps, by the
// output's own count of free frames, until half the buffer is free (or an
// abort): the writer wakes about twice per buffer rather than at every
// request of the sound server.
class AlsaOutput : public AudioOutput {
 public:
  explicit AlsaOutput(std::string pcm = "default", unsigned latencyUs = 1000000);
  AlsaOutput(const AlsaOutput&) = delete;
  AlsaOutput& operator=(const AlsaOutput&) = delete;

  bool open() override;
  int64_t write(const int16_t* frames, int64_t count, const AbortSignal& abort) override;
  int64_t delay() override;
  void drop() override;
  void flush() override;

  static AudioOutputFactory factory();

 private:
  // 44.1 kHz 16-bit stereo, a buffer of about latencyUs_ in four periods.
  bool configure();
  // Sleeps until `frames` (at most half the buffer) are free, or an abort.
  void waitForRoom(int64_t frames, const AbortSignal& abort);

  struct Close {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
  };

  std::string name_;
  unsigned latencyUs_;
  std::unique_ptr<snd_pcm_t, Close> pcm_;
  int64_t bufferFrames_ = 0;
};
