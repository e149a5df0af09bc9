#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <string>

#include "disc/CdDevice.h"

// Makes discs ready for the window without holding its thread. The slow half
// of each request runs on a thread of the loader's own, started at the first
// request: the path is resolved by the file system (realpath: symbolic links
// and ".." as the system sees them), then the device's preparer reads the
// image or waits for the drive (see CdDevice::preparer). The outcome comes
// back on the loader's thread.
//
// Only the newest request counts: a request made while an older one waits or
// is being prepared drops the older one, and the older one's preparation is
// abandoned through its Cancellation (a probe it runs is killed). cancel()
// and the destructor drop everything the same way; the destructor also waits
// for the thread, kLetGoMs at most, so that nothing it started (a probe, a
// temporary file) outlives the loader unless a drive holds the thread.
class DiscLoader : public QObject {
  Q_OBJECT

 public:
  struct Result {
    enum class Outcome { Ready, Refused, Dropped };
    Outcome outcome = Outcome::Dropped;
    std::string path;                    // Ready: as resolved
    std::unique_ptr<PreparedDisc> disc;  // Ready: for the device's adopt(); null: none prepared
    std::string problem;                 // Refused: why, in Spanish
  };
  // Hears a request's outcome, once.
  using Done = std::function<void(Result)>;

  static constexpr int kLetGoMs = 500;

  // `prepare` null: the path is only resolved.
  explicit DiscLoader(DiscPreparer prepare, QObject* parent = nullptr);
  ~DiscLoader() override;

  // Prepares `path` ("": the machine's default drive). An older request
  // still without its outcome hears Dropped at once.
  void request(const std::string& path, Done done);
  // Drops the request without its outcome, if any (it hears Dropped).
  void cancel();

 private:
  struct Shared;
  static void run(std::shared_ptr<Shared> s);
  static Result prepare(Shared& s, const std::string& path);
  void deliver(uint64_t id, std::shared_ptr<Result> result);

  std::shared_ptr<Shared> s_;
  Done done_;  // the newest request's
};
