#include "sources/Cancellation.h"

namespace {
thread_local Cancellation* currentCancellation = nullptr;
}  // namespace

void Cancellation::cancel() {
  std::lock_guard lock(m_);
  if (cancelled_.exchange(true)) return;
  for (auto& [id, stop] : stops_) stop();
}

Cancellation::Hook Cancellation::onCancel(std::function<void()> stop) {
  std::lock_guard lock(m_);
  if (cancelled_) {
    stop();
    return {};
  }
  const uint64_t id = nextId_++;
  stops_.emplace(id, std::move(stop));
  return Hook(this, id);
}

Cancellation::Hook::Hook(Hook&& other) noexcept : owner_(other.owner_), id_(other.id_) {
  other.owner_ = nullptr;
}

Cancellation::Hook& Cancellation::Hook::operator=(Hook&& other) noexcept {
  if (this != &other) {
    reset();
    owner_ = other.owner_;
    id_ = other.id_;
    other.owner_ = nullptr;
  }
  return *this;
}

// Under the owner's lock: a stop that cancel() is running finishes first.
void Cancellation::Hook::reset() {
  if (!owner_) return;
  std::lock_guard lock(owner_->m_);
  owner_->stops_.erase(id_);
  owner_ = nullptr;
}

Cancellation* Cancellation::current() {
  return currentCancellation;
}

Cancellation::Scope::Scope(Cancellation& cancellation) : previous_(currentCancellation) {
  currentCancellation = &cancellation;
}

Cancellation::Scope::~Scope() {
  currentCancellation = previous_;
}
