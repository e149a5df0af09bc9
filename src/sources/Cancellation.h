#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

// Lets a slow job (opening an image, waiting for a drive) be abandoned from
// another thread. The job runs inside a Scope on its own thread; whatever in
// it waits on something outside the process (a child process, a drive)
// looks at current() and, while it waits, registers how to stop waiting.
class Cancellation {
 public:
  // Runs every registered stop, on the calling thread; a stop registered
  // later runs at once. Later calls change nothing.
  void cancel();
  bool cancelled() const { return cancelled_.load(); }

  // Keeps a stop registered while it lives. Once it is gone (reset or
  // destroyed) its stop is neither running nor ever called.
  class Hook {
   public:
    Hook() = default;
    Hook(Hook&& other) noexcept;
    Hook& operator=(Hook&& other) noexcept;
    ~Hook() { reset(); }
    void reset();

   private:
    friend class Cancellation;
    Hook(Cancellation* owner, uint64_t id) : owner_(owner), id_(id) {}
    Cancellation* owner_ = nullptr;
    uint64_t id_ = 0;
  };
  // `stop` must be quick and must not take locks held while cancel() runs.
  [[nodiscard]] Hook onCancel(std::function<void()> stop);

  // The cancellation of the job running on the calling thread; null outside
  // any Scope.
  static Cancellation* current();

  class Scope {
   public:
    explicit Scope(Cancellation& cancellation);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    Cancellation* previous_;
  };

 private:
  std::mutex m_;
  std::atomic<bool> cancelled_ = false;
  uint64_t nextId_ = 1;
  std::map<uint64_t, std::function<void()>> stops_;
};
