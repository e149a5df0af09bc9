#include "disc/OutputSlot.h"

void OutputSlot::openIfDue(int64_t nowUs, bool now) {
  if (output_ || !factory_ || (!now && !schedule_.due(nowUs))) return;
  const Worker::Mark::Call call(mark_);
  output_ = factory_();
  if (output_ && output_->open()) return;
  output_.reset();
  schedule_.failed(nowUs);
}

int64_t OutputSlot::write(const int16_t* frames, int64_t count, const AbortSignal& abort) {
  if (!output_) return -1;
  const Worker::Mark::Call call(mark_);
  return output_->write(frames, count, abort);
}

int64_t OutputSlot::delay() {
  if (!output_) return 0;
  const Worker::Mark::Call call(mark_);
  return output_->delay();
}

void OutputSlot::flush() {
  if (!output_) return;
  const Worker::Mark::Call call(mark_);
  output_->flush();
}

void OutputSlot::drop() {
  if (!output_) return;
  const Worker::Mark::Call call(mark_);
  output_->drop();
}

void OutputSlot::failed(int64_t nowUs) {
  {
    const Worker::Mark::Call call(mark_);
    output_.reset();
  }
  schedule_.failed(nowUs);
}

void OutputSlot::close() {
  if (!output_) return;
  const Worker::Mark::Call call(mark_);
  output_->drop();
  output_.reset();
}
