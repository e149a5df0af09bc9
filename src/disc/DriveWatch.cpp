#include "disc/DriveWatch.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "sources/Cancellation.h"

struct DriveWatch::State {
  std::unique_ptr<Drive> drive;
  int intervalMs = 1000;
  int quietSpeed = 0;
  Report report;

  std::mutex m;
  std::condition_variable cv;
  bool quit = false;
  bool eject = false;
  // The first reading: handed to first() unless it gave up waiting.
  bool firstDone = false;
  bool firstAbandoned = false;
  std::shared_ptr<SectorSource> firstDisc;
  // The last report made while `report` was unset.
  bool unclaimed = false;
  std::shared_ptr<SectorSource> unclaimedDisc;
};

DriveWatch::DriveWatch(std::unique_ptr<Drive> drive, int intervalMs, int quietSpeed, Report report)
    : s_(std::make_shared<State>()) {
  canEject_ = drive && drive->canEject();
  s_->drive = std::move(drive);
  s_->intervalMs = intervalMs;
  s_->quietSpeed = quietSpeed;
  s_->report = std::move(report);
  thread_ = Worker([s = s_](const Worker::Mark& mark) { run(*s, mark); });
}

DriveWatch::~DriveWatch() {
  {
    std::lock_guard lock(s_->m);
    s_->quit = true;
    s_->report = nullptr;
    s_->cv.notify_all();
  }
  // A thread between two questions ends at once; one held by the drive is
  // left to finish by itself.
  Worker::letGo({&thread_}, std::chrono::microseconds(kLetGoUs));
}

std::optional<std::shared_ptr<SectorSource>> DriveWatch::first(int ms, Cancellation* cancel) {
  Cancellation::Hook wake;
  if (cancel)
    wake = cancel->onCancel([s = s_] {
      std::lock_guard lock(s->m);
      s->cv.notify_all();
    });
  std::unique_lock lock(s_->m);
  if (!s_->cv.wait_for(lock, std::chrono::milliseconds(ms),
                       [&] { return s_->firstDone || (cancel && cancel->cancelled()); }) ||
      !s_->firstDone) {
    s_->firstAbandoned = true;
    return std::nullopt;
  }
  return std::move(s_->firstDisc);
}

void DriveWatch::setReport(Report report) {
  std::unique_lock lock(s_->m);
  s_->report = report;
  if (!report || !s_->unclaimed) return;
  s_->unclaimed = false;
  std::shared_ptr<SectorSource> disc = std::move(s_->unclaimedDisc);
  lock.unlock();
  report(std::move(disc));
}

void DriveWatch::ejectOrClose() {
  std::lock_guard lock(s_->m);
  s_->eject = true;
  s_->cv.notify_all();
}

namespace {
// The disc with its read speed capped, asking the drive's full speed back
// when the last holder lets it go (wherever that happens).
std::shared_ptr<SectorSource> quiet(std::unique_ptr<SectorSource> disc, int speed,
                                    const Worker::Mark& mark) {
  if (!disc) return nullptr;
  if (speed > 0) {
    const Worker::Mark::Call call(mark);
    disc->setSpeed(speed);
  }
  return std::shared_ptr<SectorSource>(disc.release(), [speed](SectorSource* d) {
    if (speed > 0) d->setSpeed(0);
    delete d;
  });
}
}  // namespace

void DriveWatch::run(State& s, const Worker::Mark& mark) {
  Drive& drive = *s.drive;
  // Every call into the drive may block for as long as the drive likes.
  auto openDisc = [&] {
    std::unique_ptr<SectorSource> disc;
    {
      const Worker::Mark::Call call(mark);
      disc = drive.openDisc();
    }
    return quiet(std::move(disc), s.quietSpeed, mark);
  };
  auto trayState = [&] {
    const Worker::Mark::Call call(mark);
    return drive.state();
  };
  bool first = true;
  bool holding = false;     // a disc has been reported and has not left since
  bool unreadable = false;  // the disc in the drive could not be read; wait for a change
  auto report = [&](std::shared_ptr<SectorSource> disc) {
    std::unique_lock lock(s.m);
    if (first) {
      first = false;
      // Nobody waits for an empty drive any more: nothing has changed.
      if (s.firstAbandoned && !disc) return;
      if (!s.firstAbandoned) {
        s.firstDone = true;
        s.firstDisc = std::move(disc);
        s.cv.notify_all();
        return;
      }
    }
    if (s.quit) return;
    if (!s.report) {
      s.unclaimed = true;
      s.unclaimedDisc = std::move(disc);
      return;
    }
    Report r = s.report;
    lock.unlock();
    r(std::move(disc));
  };

  {
    auto disc = openDisc();
    holding = disc != nullptr;
    unreadable = !holding && trayState() == TrayState::DiscIn;
    report(std::move(disc));
  }
  for (;;) {
    bool eject = false;
    {
      std::unique_lock lock(s.m);
      s.cv.wait_for(lock, std::chrono::milliseconds(s.intervalMs),
                    [&] { return s.quit || s.eject; });
      if (s.quit) break;
      eject = s.eject;
      s.eject = false;
    }
    if (eject) {
      // The device has let the disc go already; it learns of a new one
      // like of any other.
      holding = false;
      unreadable = false;
      const Worker::Mark::Call call(mark);
      drive.ejectOrClose();
      continue;
    }
    const TrayState tray = trayState();
    if (holding && (tray == TrayState::NoDisc || tray == TrayState::Open)) {
      holding = false;
      report(nullptr);
    } else if (!holding && tray == TrayState::DiscIn && !unreadable) {
      auto disc = openDisc();
      holding = disc != nullptr;
      unreadable = !holding;
      if (holding) report(std::move(disc));
    }
    if (tray != TrayState::DiscIn) unreadable = false;
  }
}
