#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <initializer_list>
#include <memory>
#include <thread>

// A thread that its owner can let go of without waiting on a call that
// blocks for as long as a drive or a sound server likes. The thread's body
// holds what it uses by shared ownership, so a thread let go frees it when
// it ends.
class Worker {
 public:
  // What the thread and its owner share.
  class Mark {
   public:
    // Marks the thread as inside a blocking call while it lives.
    class Call {
     public:
      explicit Call(const Mark& mark) : mark_(mark) { mark_.inCall_ = true; }
      ~Call() { mark_.inCall_ = false; }
      Call(const Call&) = delete;
      Call& operator=(const Call&) = delete;

     private:
      const Mark& mark_;
    };

   private:
    friend class Worker;
    mutable std::atomic<bool> inCall_{false};
    bool done_ = false;  // under the workers' lock
  };

  Worker() = default;
  // Runs `body` on a thread of its own. The owner asks the body to end by its
  // own means, then calls letGo().
  explicit Worker(std::function<void(const Mark&)> body);
  // Lets go at once (see letGo) if the owner has not.
  ~Worker();
  Worker(Worker&&) = default;
  // Lets go of this one's thread at once (see letGo), then takes `other`'s.
  Worker& operator=(Worker&& other) noexcept;

  // Waits at most `bound` for every worker to end, then for each one that
  // is neither ended nor inside a blocking call (slow to be scheduled, not
  // stuck). An ended worker is joined; one in a blocking call is left to
  // finish on its own.
  static void letGo(std::initializer_list<Worker*> workers, std::chrono::microseconds bound);

  // Threads in the process that have not ended, including those let go
  // while stuck in a blocking call.
  static int stillRunning();

 private:
  std::shared_ptr<Mark> mark_;
  std::thread thread_;
};
