#pragma once

class QWidget;

// SIGTERM and SIGINT, and the end of the process.
namespace velmar {

// From this call on, SIGTERM and SIGINT never end the process by themselves,
// however many come and however fast: the handler only writes a byte to a
// non-blocking self-pipe (a full pipe drops the byte; one waiting is enough).
// Call once, when the command line has been accepted and before any thread
// or window exists.
void catchTerminationSignals();

// The read end of the self-pipe; readable while a signal waits. -1 before
// catchTerminationSignals().
int terminationSignalFd();

// Hands the signals to `window`: the first one (also one that came earlier)
// closes it as the user would and quits the application; later ones change
// nothing. From the moment the window starts closing, whoever closes it (a
// signal, the user, the application quitting), the process ends within
// kExitDeadlineMs, see armExitDeadline().
void closeOnTerminationSignals(QWidget& window);

inline constexpr int kExitDeadlineMs = 1000;

// Ends the process with status 0 `ms` from the first call, unless it has
// ended by itself before: standard output and error are flushed (unless
// another thread holds them) and the process leaves by _exit(), running no
// destructor. The orderly shut-down goes on meanwhile and normally ends the
// process long before; the deadline only cuts short what a stalled sound
// server or a drive would hold for ever (the playback worker's last drop,
// the mixer's close, a read). Later calls change nothing.
void armExitDeadline(int ms = kExitDeadlineMs);

}  // namespace velmar
