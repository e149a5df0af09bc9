#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sources/SectorSource.h"

// A disc that exists only in memory: a table of contents and sectors whose
// samples tell where they come from (left: the sector's LSN modulo 32768,
// right: the track number). Records the read speeds asked of it.
class MemoryDisc : public SectorSource {
 public:
  struct Log {
    std::mutex m;
    std::vector<int> speeds;
    std::atomic<int> alive = 0;
  };

  MemoryDisc(DiscToc toc, std::shared_ptr<Log> log) : toc_(std::move(toc)), log_(std::move(log)) {
    ++log_->alive;
  }
  ~MemoryDisc() override { --log_->alive; }

  const DiscToc& toc() const override { return toc_; }
  SectorRead read(int32_t lsn, int32_t count, int16_t* out) override {
    for (int32_t s = 0; s < count; ++s) {
      int16_t track = 0;
      for (size_t t = 0; t < toc_.tracks.size(); ++t)
        if (lsn + s >= toc_.tracks[t].lsn) track = static_cast<int16_t>(t + 1);
      for (int32_t f = 0; f < kFramesPerSector; ++f) {
        out[(s * kFramesPerSector + f) * 2] = static_cast<int16_t>((lsn + s) % 32768);
        out[(s * kFramesPerSector + f) * 2 + 1] = track;
      }
    }
    return SectorRead::Ok;
  }
  bool isDrive() const override { return true; }
  bool setSpeed(int multiple) override {
    std::lock_guard lock(log_->m);
    log_->speeds.push_back(multiple);
    return true;
  }

  // Audio tracks of `sectors` each, one after another from LSN 0.
  static DiscToc tocOf(const std::vector<int32_t>& sectors) {
    DiscToc toc;
    int32_t lsn = 0;
    for (int32_t n : sectors) {
      DiscTrack t;
      t.lsn = lsn;
      t.sectors = n;
      toc.tracks.push_back(t);
      lsn += n;
    }
    toc.leadOutLsn = lsn;
    return toc;
  }

 private:
  DiscToc toc_;
  std::shared_ptr<Log> log_;
};

// A drive whose tray a test opens and fills by hand. Reading a disc takes
// `spinUpMs`; every call is safe from any thread.
class FakeDrive : public Drive {
 public:
  struct Tray {
    std::mutex m;
    TrayState state = TrayState::NoDisc;
    DiscToc disc;  // the disc in the tray, when state is DiscIn
    int spinUpMs = 0;
    int ejects = 0;
    int reads = 0;
    std::shared_ptr<MemoryDisc::Log> log = std::make_shared<MemoryDisc::Log>();

    TrayState current() {
      std::lock_guard lock(m);
      return state;
    }
    // A disc put in (and the tray closed by hand).
    void insert(DiscToc toc) {
      std::lock_guard lock(m);
      disc = std::move(toc);
      state = TrayState::DiscIn;
    }
    // The tray opened by hand and the disc taken out; `next` waits in the
    // open tray for the tray to close.
    void takeOut(DiscToc next = {}) {
      std::lock_guard lock(m);
      disc = std::move(next);
      state = TrayState::Open;
    }
  };

  explicit FakeDrive(std::shared_ptr<Tray> tray) : tray_(std::move(tray)) {}

  TrayState state() override {
    std::lock_guard lock(tray_->m);
    return tray_->state;
  }
  std::unique_ptr<SectorSource> openDisc() override {
    int delay = 0;
    {
      std::lock_guard lock(tray_->m);
      ++tray_->reads;
      delay = tray_->spinUpMs;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    std::lock_guard lock(tray_->m);
    if (tray_->state != TrayState::DiscIn || tray_->disc.tracks.empty()) return nullptr;
    return std::make_unique<MemoryDisc>(tray_->disc, tray_->log);
  }
  bool ejectOrClose() override {
    std::lock_guard lock(tray_->m);
    ++tray_->ejects;
    if (tray_->state != TrayState::Open)
      tray_->state = TrayState::Open;
    else
      tray_->state = tray_->disc.tracks.empty() ? TrayState::NoDisc : TrayState::DiscIn;
    return true;
  }
  bool canEject() const override { return true; }

 private:
  std::shared_ptr<Tray> tray_;
};
