#include "volume/AsyncMixer.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

struct AsyncMixer::Job {
  enum Kind { Open, Line, Control, Write, Close } kind = Open;
  uint64_t ticket = 0;       // 0: nobody waits for the result
  mixer::Handle handle = 0;  // this layer's
  uint32_t device = 0;       // Open
  uint32_t line = 0;         // Line, Control: this layer's line
  uint32_t component = 0;    // Line
  uint32_t control = 0;      // Control, Write: this layer's control
  uint32_t controlType = 0;  // Control
  uint32_t value = 0;        // Write
};

struct AsyncMixer::State {
  std::mutex m;
  std::condition_variable wake;  // the thread: a job or the stop
  std::condition_variable done;  // the callers: a result, idle, finished
  std::deque<Job> jobs;
  bool busy = false;
  bool stop = false;
  bool finished = false;
  uint64_t nextTicket = 1;
  std::set<uint64_t> waiting;
  std::map<uint64_t, mixer::Result> results;

  // The thread's own: the real layer and, per handle of this layer, the
  // real handle and identifiers it stands for (0: to be opened or looked up).
  struct Real {
    uint32_t device = 0;
    mixer::Handle handle = 0;
    std::map<uint32_t, uint32_t> componentOf;                     // line -> component
    std::map<uint32_t, std::pair<uint32_t, uint32_t>> controlOf;  // control -> (line, type)
    std::map<uint32_t, uint32_t> realLine, realControl;
  };
  std::unique_ptr<mixer::Api> api;
  std::map<mixer::Handle, Real> reals;

  void runThread(const Factory& factory);
  mixer::Result perform(const Job& job);
  mixer::Result ensureOpen(Real& r);
  mixer::Result ensureLine(Real& r, uint32_t line);
  mixer::Result ensureControl(Real& r, uint32_t control);
  void reset(Real& r);
};

// --- The layer's thread --------------------------------------------------------

void AsyncMixer::State::runThread(const Factory& factory) {
  api = factory();
  std::unique_lock lock(m);
  for (;;) {
    wake.wait(lock, [&] { return stop || !jobs.empty(); });
    if (stop) break;
    const Job job = jobs.front();
    jobs.pop_front();
    busy = true;
    lock.unlock();
    const mixer::Result r = api ? perform(job) : mixer::kNoDriver;
    lock.lock();
    busy = false;
    if (job.ticket && waiting.count(job.ticket)) results[job.ticket] = r;
    done.notify_all();
  }
  lock.unlock();
  // The real layer closes what it still holds, here rather than on the
  // caller's side.
  api.reset();
  lock.lock();
  finished = true;
  done.notify_all();
}

mixer::Result AsyncMixer::State::ensureOpen(Real& r) {
  if (r.handle) return mixer::kOk;
  mixer::Handle h = 0;
  const mixer::Result res = api->open(h, r.device);
  if (res == mixer::kOk) r.handle = h;
  return res;
}

mixer::Result AsyncMixer::State::ensureLine(Real& r, uint32_t line) {
  if (r.realLine.count(line)) return mixer::kOk;
  if (const mixer::Result res = ensureOpen(r); res != mixer::kOk) return res;
  mixer::Line l;
  l.componentType = r.componentOf[line];
  const mixer::Result res = api->getLineInfo(r.handle, l, mixer::kLineInfoByComponentType);
  if (res == mixer::kOk) r.realLine[line] = l.lineId;
  return res;
}

mixer::Result AsyncMixer::State::ensureControl(Real& r, uint32_t control) {
  if (r.realControl.count(control)) return mixer::kOk;
  const auto [line, type] = r.controlOf[control];
  if (const mixer::Result res = ensureLine(r, line); res != mixer::kOk) return res;
  std::array<mixer::Control, 1> buffer{};
  mixer::LineControls request;
  request.lineId = r.realLine[line];
  request.controlType = type;
  request.controls = buffer;
  const mixer::Result res = api->getLineControls(r.handle, request, mixer::kLineControlsOneByType);
  if (res == mixer::kOk) r.realControl[control] = buffer.front().controlId;
  return res;
}

void AsyncMixer::State::reset(Real& r) {
  if (r.handle) api->close(r.handle);
  r.handle = 0;
  r.realLine.clear();
  r.realControl.clear();
}

mixer::Result AsyncMixer::State::perform(const Job& job) {
  if (job.kind == Job::Open) {
    Real& r = reals[job.handle];
    r.device = job.device;
    return ensureOpen(r);
  }
  const auto it = reals.find(job.handle);
  if (it == reals.end()) return mixer::kInvalidHandle;
  Real& r = it->second;
  switch (job.kind) {
    case Job::Line:
      r.componentOf[job.line] = job.component;
      return ensureLine(r, job.line);
    case Job::Control:
      r.controlOf[job.control] = {job.line, job.controlType};
      return ensureControl(r, job.control);
    case Job::Write: {
      mixer::Result res = mixer::kError;
      // A failed write may be a handle the server no longer knows: once
      // more on a mixer opened afresh.
      for (int attempt = 0; attempt < 2; ++attempt) {
        res = ensureControl(r, job.control);
        if (res == mixer::kOk) {
          mixer::ControlDetails details;
          details.controlId = r.realControl[job.control];
          details.value = job.value;
          res = api->setControlDetails(r.handle, details, mixer::kSetDetailsValue);
          if (res == mixer::kOk) return res;
        }
        reset(r);
      }
      return res;
    }
    case Job::Close:
      reset(r);
      reals.erase(it);
      return mixer::kOk;
    case Job::Open:
      break;
  }
  return mixer::kError;
}

// --- The caller's side -----------------------------------------------------------

AsyncMixer::AsyncMixer(Factory real, Timing timing)
    : timing_(timing), s_(std::make_shared<State>()) {
  thread_ = std::thread([s = s_, real = std::move(real)] { s->runThread(real); });
}

AsyncMixer::~AsyncMixer() {
  bool finished = false;
  {
    std::unique_lock lock(s_->m);
    s_->stop = true;
    s_->wake.notify_all();
    finished = s_->done.wait_for(lock, std::chrono::milliseconds(timing_.closeWaitMs),
                                 [&] { return s_->finished; });
  }
  if (finished)
    thread_.join();
  else
    thread_.detach();
}

mixer::Result AsyncMixer::run(Job job, int ms) {
  std::unique_lock lock(s_->m);
  job.ticket = s_->nextTicket++;
  s_->waiting.insert(job.ticket);
  s_->jobs.push_back(job);
  s_->wake.notify_all();
  s_->done.wait_for(lock, std::chrono::milliseconds(ms),
                    [&] { return s_->results.count(job.ticket) > 0; });
  s_->waiting.erase(job.ticket);
  const auto it = s_->results.find(job.ticket);
  if (it == s_->results.end()) return kPending;
  const mixer::Result r = it->second;
  s_->results.erase(it);
  return r;
}

bool AsyncMixer::idle(int ms) {
  std::unique_lock lock(s_->m);
  return s_->done.wait_for(lock, std::chrono::milliseconds(ms),
                           [&] { return s_->jobs.empty() && !s_->busy; });
}

mixer::Result AsyncMixer::open(mixer::Handle& handle, uint32_t device) {
  const mixer::Handle h = nextHandle_++;
  Job job;
  job.kind = Job::Open;
  job.handle = h;
  job.device = device;
  const mixer::Result r = run(job, timing_.openWaitMs);
  if (r != mixer::kOk && r != kPending) {
    Job close;
    close.kind = Job::Close;
    close.handle = h;
    post(close);
    return r;
  }
  open_[h] = {};
  handle = h;
  return mixer::kOk;
}

mixer::Result AsyncMixer::getLineInfo(mixer::Handle handle, mixer::Line& line, uint32_t flags) {
  const auto it = open_.find(handle);
  if (it == open_.end()) return mixer::kInvalidHandle;
  if (flags != mixer::kLineInfoByComponentType) return mixer::kInvalidFlag;
  Logical& o = it->second;
  uint32_t& id = o.lineOfComponent[line.componentType];
  if (!id) id = nextId_++;
  o.lines.insert(id);
  Job job;
  job.kind = Job::Line;
  job.handle = handle;
  job.line = id;
  job.component = line.componentType;
  const mixer::Result r = run(job, timing_.lookupWaitMs);
  if (r != mixer::kOk && r != kPending) return r;
  line.lineId = id;
  return mixer::kOk;
}

mixer::Result AsyncMixer::getLineControls(mixer::Handle handle, mixer::LineControls& request,
                                          uint32_t flags) {
  const auto it = open_.find(handle);
  if (it == open_.end()) return mixer::kInvalidHandle;
  if (flags != mixer::kLineControlsOneByType) return mixer::kInvalidFlag;
  if (request.controls.empty()) return mixer::kInvalidParam;
  Logical& o = it->second;
  if (!o.lines.count(request.lineId)) return mixer::kInvalidLine;
  uint32_t& id = o.controlFor[{request.lineId, request.controlType}];
  if (!id) id = nextId_++;
  o.controls.insert(id);
  Job job;
  job.kind = Job::Control;
  job.handle = handle;
  job.line = request.lineId;
  job.control = id;
  job.controlType = request.controlType;
  const mixer::Result r = run(job, timing_.lookupWaitMs);
  if (r != mixer::kOk && r != kPending) return r;
  request.controls.front().controlId = id;
  return mixer::kOk;
}

mixer::Result AsyncMixer::setControlDetails(mixer::Handle handle,
                                            const mixer::ControlDetails& details, uint32_t flags) {
  const auto it = open_.find(handle);
  if (it == open_.end()) return mixer::kInvalidHandle;
  if (flags != mixer::kSetDetailsValue) return mixer::kInvalidFlag;
  if (details.channels != 1 || details.multipleItems != 0) return mixer::kInvalidParam;
  if (!it->second.controls.count(details.controlId)) return mixer::kInvalidControl;
  if (details.value > mixer::kVolumeMax) return mixer::kInvalidValue;
  std::lock_guard lock(s_->m);
  for (Job& queued : s_->jobs) {
    if (queued.kind == Job::Write && queued.handle == handle &&
        queued.control == details.controlId) {
      queued.value = details.value;  // the last value wins
      return mixer::kOk;
    }
  }
  Job job;
  job.kind = Job::Write;
  job.handle = handle;
  job.control = details.controlId;
  job.value = details.value;
  s_->jobs.push_back(job);
  s_->wake.notify_all();
  return mixer::kOk;
}

void AsyncMixer::post(const Job& job) {
  std::lock_guard lock(s_->m);
  s_->jobs.push_back(job);
  s_->wake.notify_all();
}

mixer::Result AsyncMixer::close(mixer::Handle handle) {
  if (!open_.erase(handle)) return mixer::kInvalidHandle;
  {
    // Writes still waiting are moot.
    std::lock_guard lock(s_->m);
    std::erase_if(s_->jobs,
                  [&](const Job& j) { return j.kind == Job::Write && j.handle == handle; });
  }
  Job job;
  job.kind = Job::Close;
  job.handle = handle;
  post(job);
  return mixer::kOk;
}
