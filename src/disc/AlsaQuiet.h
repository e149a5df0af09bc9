#pragma once

#include <alsa/asoundlib.h>

namespace alsa_quiet {
inline void discard(const char*, int, const char*, int, const char*, ...) {}
}  // namespace alsa_quiet

// Silences alsa-lib's own error printing ("ALSA lib ... cannot find card"),
// which goes to stderr whenever there is no card; callers report failures
// themselves. Safe to call any number of times, from any thread.
inline void quietAlsa() {
  static const bool once = [] {
    snd_lib_error_set_handler(&alsa_quiet::discard);
    return true;
  }();
  (void)once;
}
