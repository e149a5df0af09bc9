// Seeks the real device on a disc through ALSA's default output, the way the
// seek bar does ("stop", To, "seek", "play"), and logs each request as an
// "S <ns>" line (CLOCK_REALTIME) to VELMAR_BENCH_LOG, next to the lines the
// preloaded timing shim writes for the audio that follows.
//
//   velmar-seek-probe DISC.cue SEEKS
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "disc/CdioDevice.h"

namespace {
void mark(int fd) {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  char line[48];
  const int n = std::snprintf(line, sizeof line, "S %lld\n",
                              static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec);
  [[maybe_unused]] const ssize_t w = ::write(fd, line, static_cast<size_t>(n));
}
}  // namespace

int main(int argc, char** argv) {
  const char* log = std::getenv("VELMAR_BENCH_LOG");
  if (argc != 3 || !log) {
    std::fprintf(stderr, "usage: VELMAR_BENCH_LOG=FILE velmar-seek-probe DISC.cue SEEKS\n");
    return 2;
  }
  const int fd = ::open(log, O_WRONLY | O_CREAT | O_APPEND, 0644);
  CdioDevice dev(argv[1]);
  dev.open();
  if (dev.tracks() < 1) {
    std::fprintf(stderr, "velmar-seek-probe: no disc in %s\n", argv[1]);
    return 1;
  }
  dev.play();
  std::this_thread::sleep_for(std::chrono::seconds(3));
  const int seeks = std::atoi(argv[2]);
  const int32_t first = dev.trackPosition(1);
  const int32_t span = dev.trackPosition(dev.tracks()) + dev.trackLength(dev.tracks()) - first;
  for (int i = 0; i < seeks; ++i) {
    const int32_t to = first + static_cast<int32_t>((int64_t{span} * (i * 7 % seeks)) / seeks);
    mark(fd);
    dev.stop();
    dev.seek(to);
    dev.play();
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
  }
  dev.close();
  return 0;
}
