#pragma once

#include <cstdint>
#include <string>

// libcdio's image parsers are not safe on hostile files: a forged Nero footer
// makes them abort or crash, too many track entries write past a heap buffer.
// So an image is first read in a child process, the probe (`velmar-probe`, a small
// program of its own that only links libcdio), under a time limit (kTimeoutMs,
// wall clock, then SIGKILL) and resource limits set in the child before it
// runs: address space (kMemoryBytes; not in sanitizer builds, which reserve
// far more), CPU time, no core files, no file writes. Only when the probe read
// a plausible table of contents does the caller open the image in its own
// process.
//
// The probe is an executable rather than a fork() of the caller: the caller
// has threads (Qt's, the sound server's, playback's), and after fork() only
// async-signal-safe calls are allowed in the child, which libcdio's are not.
// The child does nothing between fork() and exec() but set limits, move
// descriptors and reset signals.
//
// Where the probe is: $VELMAR_PROBE when set (tests), else where it is
// installed relative to the running executable (PREFIX/bin/velmar runs
// PREFIX/libexec/velmar/velmar-probe), else beside it (the build tree holds
// both programs side by side).
namespace imageprobe {

inline constexpr int kTimeoutMs = 3000;
inline constexpr uint64_t kMemoryBytes = uint64_t{1} << 30;

struct Report {
  enum class Verdict {
    Readable,    // a plausible table of contents; `tracks` and `leadOut` hold it
    NotAnImage,  // libcdio could not open it as a Nero image
    BadToc,      // opened, but its table of contents cannot be a CD's (`problem`)
    Damaged,     // the probe crashed, aborted or gave no complete report
    TimedOut,    // still running at the time limit
    NoProbe,     // the probe could not be started (`problem`)
    Cancelled,   // the job it ran in was abandoned (see Cancellation.h)
  };
  Verdict verdict = Verdict::Damaged;
  int tracks = 0;
  int32_t leadOut = 0;
  std::string problem;  // Spanish
};

// Runs the probe on the Nero image open as `fd` (a regular file) and waits
// for it, kTimeoutMs at most. The probe reads that open file, as the
// caller's own /proc/self/fd entry (see openedPath) does, whatever the
// image's path names meanwhile. Within a Cancellation::Scope, cancelling
// kills the probe and the call returns at once. The probe never outlives the
// thread that started it (it is killed when that thread or its process
// ends).
Report probe(int fd);

// A path that opens the same file as the open descriptor `fd`, in the
// process that holds it: /proc/self/fd/N.
std::string openedPath(int fd);

// The probe's own main(): `velmar-probe IMAGE` reads the Nero image IMAGE, writes its report to
// standard output and ends with status 0; anything else (a crash, an abort, a failed check inside
// libcdio, another status) means the image is not safe to open.
int probeMain(int argc, char** argv);

}  // namespace imageprobe
