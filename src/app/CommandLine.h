#pragma once

#include <string>
#include <vector>

// What the program's arguments ask for. The only argument is an optional
// drive or disc image, as a path or a URI; the program takes no other.
struct CommandLine {
  enum class Action { Run, Help, Version, Error };
  Action action = Action::Run;
  std::string disc;      // Run: the drive or image; empty: the default drive
  std::string argument;  // Run: the disc as given (a path or a URI); empty: none given
  std::string message;   // Help, Version: what to print on stdout; Error: on stderr
  int exitStatus = 0;    // Help, Version: 0; Error: 2
};

// Parses `args` (without the program name). A disc is checked: it must
// exist, be readable and open as a drive or an image.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// An Error for `message`: "velmar: MESSAGE" and the hint to --help, status 2.
CommandLine commandLineError(std::string message);

// The usage text printed by --help.
std::string usageText();

// The drive or image an argument names, as the device takes it. A plain path
// stays as it is. URIs (what a desktop hands over for %U):
//   cdda://sr1, cdda://sr1/..., cdda:///dev/sr1  -> "/dev/sr1"
//   cdda://                                     -> "" (the default drive)
//   file:///ruta/disco%20uno.cue                 -> "/ruta/disco uno.cue"
// Percent escapes are decoded. `ok` is false, with the reason in Spanish in
// `problem`, for another scheme, a file on another host or a bad escape.
struct DiscArgument {
  bool ok = true;
  std::string disc;
  std::string problem;
};
DiscArgument discFromArgument(const std::string& arg);

// The part of discArgumentProblem below that looks at no file: `arg` is
// empty, or a URI that names no disc. Sets `*disc` to what it names.
std::string discNameProblem(const std::string& arg, std::string* disc);
// "no se puede abrir «ARG»: WHY".
std::string cannotOpenText(const std::string& arg, const std::string& why);

// Checks a disc named by `arg` (a path or a URI) as the command line does:
// empty when it can be played, else the whole Spanish message, "no se puede
// abrir «ARG»: ...". Sets `*disc` to the drive or image when it can.
std::string discArgumentProblem(const std::string& arg, std::string* disc);
