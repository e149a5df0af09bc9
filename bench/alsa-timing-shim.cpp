// Preloaded into a player by velmar-bench.sh: logs, to the file named by
// VELMAR_BENCH_LOG, the CLOCK_REALTIME time in ns of each call that hands
// audio to ALSA ("W") and of each drop of queued audio ("D"), one per line.
#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {
int logFd() {
  static const int fd = [] {
    const char* path = std::getenv("VELMAR_BENCH_LOG");
    return path ? ::open(path, O_WRONLY | O_CREAT | O_APPEND, 0644) : -1;
  }();
  return fd;
}

void note(char kind) {
  if (logFd() < 0) return;
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  char line[48];
  const int n = std::snprintf(line, sizeof line, "%c %lld\n", kind,
                              static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec);
  [[maybe_unused]] const ssize_t w = ::write(logFd(), line, static_cast<size_t>(n));
}

template <typename F>
F next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
}  // namespace

extern "C" {
snd_pcm_sframes_t snd_pcm_writei(snd_pcm_t* pcm, const void* buf, snd_pcm_uframes_t size) {
  static const auto real =
      next<snd_pcm_sframes_t (*)(snd_pcm_t*, const void*, snd_pcm_uframes_t)>("snd_pcm_writei");
  const snd_pcm_sframes_t r = real(pcm, buf, size);
  if (r > 0) note('W');
  return r;
}

snd_pcm_sframes_t snd_pcm_writen(snd_pcm_t* pcm, void** bufs, snd_pcm_uframes_t size) {
  static const auto real =
      next<snd_pcm_sframes_t (*)(snd_pcm_t*, void**, snd_pcm_uframes_t)>("snd_pcm_writen");
  const snd_pcm_sframes_t r = real(pcm, bufs, size);
  if (r > 0) note('W');
  return r;
}

snd_pcm_sframes_t snd_pcm_mmap_commit(snd_pcm_t* pcm, snd_pcm_uframes_t offset,
                                      snd_pcm_uframes_t frames) {
  static const auto real =
      next<snd_pcm_sframes_t (*)(snd_pcm_t*, snd_pcm_uframes_t, snd_pcm_uframes_t)>(
          "snd_pcm_mmap_commit");
  const snd_pcm_sframes_t r = real(pcm, offset, frames);
  if (r > 0) note('W');
  return r;
}

int snd_pcm_drop(snd_pcm_t* pcm) {
  static const auto real = next<int (*)(snd_pcm_t*)>("snd_pcm_drop");
  note('D');
  return real(pcm);
}
}
