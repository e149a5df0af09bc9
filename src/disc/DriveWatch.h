#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "disc/Worker.h"
#include "sources/SectorSource.h"

class Cancellation;

// Watches a CD drive from a thread of its own, so the window's thread never
// waits on the drive: it reads the disc in the drive at once, then asks the
// drive about once a `intervalMs` what its tray holds (a question that never
// spins a disc up) and reads a disc that arrives. Discs are handed over read
// (table of contents known) and with the read speed capped at
// `quietSpeed` x real time; the full speed is asked back when the last
// holder lets the disc go.
class DriveWatch {
 public:
  // Called from the watching thread with a disc that arrived, or with null
  // when the disc left (the tray opened, the disc was taken out). While no
  // receiver is set, the last report waits for one (see setReport).
  using Report = std::function<void(std::shared_ptr<SectorSource> disc)>;

  DriveWatch(std::unique_ptr<Drive> drive, int intervalMs, int quietSpeed, Report report);
  // Stops watching within about kLetGoUs, without waiting on the drive: a
  // thread stuck in a drive call finishes on its own and frees what it
  // holds.
  ~DriveWatch();
  DriveWatch(const DriveWatch&) = delete;
  DriveWatch& operator=(const DriveWatch&) = delete;

  // The first reading of the drive, waited for at most `ms`: the disc, null
  // when the drive holds none, or nothing when the drive has not answered
  // yet (a disc it gives later is reported instead). `cancel`, when given,
  // ends the wait as the time limit does.
  std::optional<std::shared_ptr<SectorSource>> first(int ms, Cancellation* cancel = nullptr);
  // Sets the receiver of reports, and gives it at once the last report made
  // while there was none.
  void setReport(Report report);
  // Opens the tray, or closes it when it is open, from the watching thread.
  void ejectOrClose();
  bool canEject() const { return canEject_; }

  // How long the destructor waits for the thread before it lets it go, us.
  static constexpr int64_t kLetGoUs = 100000;

 private:
  struct State;
  static void run(State& s, const Worker::Mark& mark);
  std::shared_ptr<State> s_;
  bool canEject_ = false;
  Worker thread_;
};
