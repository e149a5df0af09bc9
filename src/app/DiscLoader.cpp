#include "app/DiscLoader.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>

#include "sources/Cancellation.h"
#include "sources/SystemError.h"

struct DiscLoader::Shared {
  struct Job {
    uint64_t id = 0;
    std::string path;
    std::shared_ptr<Cancellation> cancellation;
  };

  DiscPreparer prepare;
  std::mutex m;
  std::condition_variable cv;
  std::optional<Job> pending;
  std::shared_ptr<Cancellation> running;  // the job being prepared
  uint64_t latest = 0;                    // the newest request's id
  DiscLoader* receiver = nullptr;         // null once the loader is gone
  bool started = false, quit = false, finished = false;

  // Under `m`: abandons whatever is waiting or being prepared.
  void dropLocked() {
    pending.reset();
    if (running) running->cancel();
  }
};

DiscLoader::DiscLoader(DiscPreparer prepare, QObject* parent)
    : QObject(parent), s_(std::make_shared<Shared>()) {
  s_->prepare = std::move(prepare);
  s_->receiver = this;
}

DiscLoader::~DiscLoader() {
  std::unique_lock lock(s_->m);
  s_->receiver = nullptr;
  s_->quit = true;
  s_->dropLocked();
  s_->cv.notify_all();
  s_->cv.wait_for(lock, std::chrono::milliseconds(kLetGoMs),
                  [&] { return !s_->started || s_->finished; });
}

void DiscLoader::request(const std::string& path, Done done) {
  Done older = std::exchange(done_, std::move(done));
  {
    std::lock_guard lock(s_->m);
    s_->dropLocked();
    s_->pending = Shared::Job{++s_->latest, path, std::make_shared<Cancellation>()};
    if (!s_->started) {
      s_->started = true;
      std::thread(run, s_).detach();
    }
    s_->cv.notify_all();
  }
  if (older) older(Result{});
}

void DiscLoader::cancel() {
  {
    std::lock_guard lock(s_->m);
    ++s_->latest;  // an outcome on its way is stale
    s_->dropLocked();
  }
  if (Done done = std::exchange(done_, nullptr)) done(Result{});
}

void DiscLoader::deliver(uint64_t id, std::shared_ptr<Result> result) {
  {
    std::lock_guard lock(s_->m);
    if (id != s_->latest) return;
  }
  if (Done done = std::exchange(done_, nullptr)) done(std::move(*result));
}

DiscLoader::Result DiscLoader::prepare(Shared& s, const std::string& asked) {
  Result r;
  std::string path = asked;
  if (!path.empty()) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) {
      r.outcome = Result::Outcome::Refused;
      r.problem = systemErrorText(errno);
      return r;
    }
    path = real;
    std::free(real);
  }
  if (s.prepare) {
    r.disc = s.prepare(path, &r.problem);
    if (!r.disc) {
      r.outcome = Result::Outcome::Refused;
      return r;
    }
  }
  r.outcome = Result::Outcome::Ready;
  r.path = std::move(path);
  return r;
}

void DiscLoader::run(std::shared_ptr<Shared> s) {
  std::unique_lock lock(s->m);
  for (;;) {
    s->cv.wait(lock, [&] { return s->quit || s->pending; });
    if (s->quit) break;
    Shared::Job job = std::move(*s->pending);
    s->pending.reset();
    s->running = job.cancellation;
    lock.unlock();
    auto result = std::make_shared<Result>();
    {
      Cancellation::Scope scope(*job.cancellation);
      *result = prepare(*s, job.path);
    }
    lock.lock();
    s->running.reset();
    if (job.cancellation->cancelled() || job.id != s->latest || !s->receiver) {
      // Let go here, off the window's thread.
      lock.unlock();
      result.reset();
      lock.lock();
      continue;
    }
    // Posted under the lock: the receiver cannot be destroyed meanwhile.
    DiscLoader* receiver = s->receiver;
    QMetaObject::invokeMethod(
        receiver, [receiver, id = job.id, result] { receiver->deliver(id, result); },
        Qt::QueuedConnection);
  }
  s->finished = true;
  s->cv.notify_all();
}
