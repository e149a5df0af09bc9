#pragma once

#include <memory>
#include <optional>
#include <string>

class frmVelmar;

// The program on the desktop: its sound stream's name, one running copy per
// session, MPRIS2 for panels and media keys, CD-Text in the display's
// tooltip. main() calls these plain functions; nothing of D-Bus shows here.
namespace desktop {

// Process-wide settings that must precede any thread and any audio: names
// the sound stream. Call first thing in main().
void prepareProcess();

class Session {
 public:
  // Connects to the session bus, if there is one, and tries to become the
  // running copy. Call after the QApplication exists, before the window.
  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // When another Velmar already runs in this session: raises its window and,
  // when `argument` names a disc (a path or URI, already checked; `disc` is
  // what it names), makes it open that disc. Returns this launch's exit
  // status: 0 when handed over, 2 (with the Spanish message on stderr) when
  // the running copy refused the disc. nullopt when this launch is the
  // running copy (no other one, no session bus, or the name is held by a
  // program that is not Velmar): it goes on and shows its window.
  std::optional<int> handOver(const std::string& argument, const std::string& disc);

  // Puts `window` on the desktop: the display's CD-Text tooltip, MPRIS2 and
  // the requests of later launches. Call once, right after constructing it.
  void attach(frmVelmar& window);

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace desktop
