#pragma once

// libcdio reports through a log handler whose default ends the process on an
// error line (exit) and on a failed internal check (abort). The program's own
// handler ends nothing: lines are dropped, or written to standard error when
// the environment variable VELMAR_DEBUG is set (to anything but empty).
//
// Installed once per process, by the first caller; every entry into libcdio
// (drives, images, the drive path checks) calls it first. Safe from any
// thread.
void installCdioLogHandler();

// True when VELMAR_DEBUG asks for libcdio's lines (and the image probe's
// standard error) on standard error.
bool cdioDebugWanted();
