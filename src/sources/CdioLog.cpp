#include "sources/CdioLog.h"

#include <cdio/logging.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

void keepRunning(cdio_log_level_t level, const char message[]) {
  // Debug and info lines are libcdio's chatter even when asked for.
  if (level < CDIO_LOG_WARN || !cdioDebugWanted() || !message) return;
  const char* kind = level == CDIO_LOG_WARN ? "aviso" : level == CDIO_LOG_ERROR ? "error" : "fallo";
  std::fprintf(stderr, "velmar: libcdio (%s): %s\n", kind, message);
}

}  // namespace

bool cdioDebugWanted() {
  static const bool wanted = [] {
    const char* v = std::getenv("VELMAR_DEBUG");
    return v && *v;
  }();
  return wanted;
}

void installCdioLogHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    cdioDebugWanted();  // read the environment before any thread may change it
    cdio_log_set_handler(keepRunning);
  });
}
