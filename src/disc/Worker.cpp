#include "disc/Worker.h"

#include <condition_variable>
#include <mutex>

namespace {
std::atomic<int> live{0};
// Workers ending are rare: one lock and one condition serve them all.
std::mutex doneMutex;
std::condition_variable doneCv;
}  // namespace

Worker::Worker(std::function<void(const Mark&)> body) : mark_(std::make_shared<Mark>()) {
  ++live;
  thread_ = std::thread([mark = mark_, body = std::move(body)]() mutable {
    body(*mark);
    body = nullptr;  // what the body holds is let go before the thread counts as ended
    {
      std::lock_guard lock(doneMutex);
      mark->done_ = true;
    }
    doneCv.notify_all();
    --live;
  });
}

Worker::~Worker() {
  letGo({this}, std::chrono::microseconds(0));
}

Worker& Worker::operator=(Worker&& other) noexcept {
  letGo({this}, std::chrono::microseconds(0));
  mark_ = std::move(other.mark_);
  thread_ = std::move(other.thread_);
  return *this;
}

void Worker::letGo(std::initializer_list<Worker*> workers, std::chrono::microseconds bound) {
  auto all = [&](auto ready) {
    for (Worker* w : workers)
      if (w->thread_.joinable() && !ready(*w->mark_)) return false;
    return true;
  };
  {
    std::unique_lock lock(doneMutex);
    doneCv.wait_for(lock, bound, [&] { return all([](const Mark& m) { return m.done_; }); });
    // A thread outside its blocking calls has only code to run that never
    // blocks for long: wait for it.
    while (!all([](const Mark& m) { return m.done_ || m.inCall_; }))
      doneCv.wait_for(lock, std::chrono::milliseconds(2));
  }
  for (Worker* w : workers) {
    if (!w->thread_.joinable()) continue;
    bool done = false;
    {
      std::lock_guard lock(doneMutex);
      done = w->mark_->done_;
    }
    if (done)
      w->thread_.join();
    else
      w->thread_.detach();
  }
}

int Worker::stillRunning() {
  return live.load();
}
