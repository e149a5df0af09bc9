#pragma once

#include <string>
#include <vector>

// What the program's arguments ask for. The only argument is an optional
// drive or disc image; the program takes no other.
struct CommandLine {
  enum class Action { Run, Help, Version, Error };
  Action action = Action::Run;
  std::string disc;     // Run: the drive or image; empty: the default drive
  std::string message;  // Help, Version: what to print on stdout; Error: on stderr
  int exitStatus = 0;   // Help, Version: 0; Error: 2
};

// Parses `args` (without the program name). A disc path is checked: it must
// exist, be readable and open as a drive or an image.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// The usage text printed by --help.
std::string usageText();
