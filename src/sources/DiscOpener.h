#pragma once

#include <functional>
#include <memory>
#include <string>

#include "sources/SectorSource.h"

// How the device reaches discs: drives by their device node, images and rips
// by their file. The program uses the system's; tests put drives and images
// of their own behind the same seam.
struct DiscAccess {
  // The drive `path` names ("" for the machine's default drive); null when
  // it names no drive.
  std::function<std::unique_ptr<Drive>(const std::string& path)> drive;
  // Opens the image or rip at `path` and reads its table of contents; null,
  // with the reason in Spanish in `*reason`, when it cannot be played.
  std::function<std::unique_ptr<SectorSource>(const std::string& path, std::string* reason)> image;
  // How long opening a drive waits for its table of contents before the
  // window goes on without it, and how often a drive's tray is looked at, ms.
  int driveOpenWaitMs = 3000;
  int watchIntervalMs = 1000;

  static DiscAccess system();
};

// True when `path` names a drive rather than an image: empty (the default
// drive) or a device node that is a CD drive (see deviceKind in CdioDrive.h).
bool isDrivePath(const std::string& path);

// Opens an image or a rip: a cue sheet or a cdrdao .toc with the files it
// names, or a Nero .nrg. Callable from any thread.
std::unique_ptr<SectorSource> openImage(const std::string& path, std::string* reason);

// Why `path`, as given on the command line, cannot be played, in Spanish;
// empty when it can.
std::string discPathProblem(const std::string& path);
