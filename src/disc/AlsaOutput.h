#pragma once

#include <alsa/asoundlib.h>

#include <string>

#include "disc/AudioOutput.h"

// ALSA's PCM (by default "default", which reaches PulseAudio or PipeWire on a
// desktop), opened non-blocking so that a stalled server never holds the
// worker past an abort.
class AlsaOutput : public AudioOutput {
 public:
  explicit AlsaOutput(std::string pcm = "default", unsigned latencyUs = 200000);
  ~AlsaOutput() override;
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
  void waitForRoom(const AbortSignal& abort);

  std::string name_;
  unsigned latencyUs_;
  snd_pcm_t* pcm_ = nullptr;
};
