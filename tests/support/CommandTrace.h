#pragma once

#include <algorithm>
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

  size_t count(const std::string& s) const {
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), s));
  }
  // The lines recorded from `from` on, joined by blanks.
  std::string since(size_t from) const {
    std::string out;
    for (size_t i = from; i < lines.size(); ++i) out += (out.empty() ? "" : " ") + lines[i];
    return out;
  }
};
