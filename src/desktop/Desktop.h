#pragma once

#include <memory>
#include <optional>
#include <string>

// The program on the desktop: its sound stream's name, one running copy per
// session, MPRIS2 for panels and media keys. main() calls these plain
// functions; nothing of D-Bus shows here.
namespace desktop {

class Player;

// Process-wide settings that must precede any thread and any audio: names
// the sound stream and keeps the launcher's activation token. Call first
// thing in main().
void prepareProcess();

class Session {
 public:
  // Connects to the session bus, if there is one, and tries to become the
  // running copy. Call after the QApplication exists, before the window.
  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // When another Velmar already runs in this session: raises its window
  // with this launch's activation token and, when `argument` names a disc
  // (a path or URI, already checked; `disc` is what it names), makes it open
  // that disc, named by what the file system resolves it to. Waits for the
  // running copy's answer about a second at most, and for SIGTERM and SIGINT
  // meanwhile. Returns this launch's exit status: 0 when handed over, or
  // when a signal came while it waited. nullopt when this launch is to play
  // by itself: no other copy, no session bus, a holder of the name that is
  // not Velmar or that did not take the request in time (it leaves the
  // request alone when it gets it later).
  std::optional<int> handOver(const std::string& argument, const std::string& disc);

  // Puts the window whose player this is on the desktop: MPRIS2 and the
  // requests of later launches. Call once, right after constructing it.
  void attach(Player& player);

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace desktop
