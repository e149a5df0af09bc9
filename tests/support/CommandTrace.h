#pragma once

#include <string>
#include <vector>

#include "disc/MMControl.h"

// Records every property write and command word any MMControl sends, as
// "To=17000", "seek", ... in order, while it lives.
struct CommandTrace {
  std::vector<std::string> lines;
  CommandTrace() {
    MMControl::setTraceHook([this](const std::string& s) { lines.push_back(s); });
  }
  ~CommandTrace() { MMControl::setTraceHook(nullptr); }
  CommandTrace(const CommandTrace&) = delete;
  CommandTrace& operator=(const CommandTrace&) = delete;
};
