#include "read_ahead.h"

#include <utility>

namespace cycle {
namespace {

constexpr std::size_t kAhead = 2;

}  // namespace

ReadAhead::ReadAhead(fuelcalc::CycleFile& source, std::size_t block_records)
    : source_(source), reader_([this, block_records] { run(block_records); }) {}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  reader_.join();
}

void ReadAhead::run(std::size_t block_records) {
  for (;;) {
    fuelcalc::CycleRecords block;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || ready_.size() < kAhead; });
      if (stopping_) return;
      if (!spare_.empty()) {
        block = std::move(spare_.front());
        spare_.pop_front();
      }
    }
    std::size_t n = 0;
    std::exception_ptr error;
    try {
      n = source_.read(block, block_records);
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard lock(mutex_);
      if (error) {
        error_ = error;
        done_ = true;
      } else if (n == 0) {
        done_ = true;
      } else {
        ready_.push_back(std::move(block));
      }
    }
    changed_.notify_all();
    if (error || n == 0) return;
  }
}

std::size_t ReadAhead::next(fuelcalc::CycleRecords& records) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return !ready_.empty() || done_; });
  if (ready_.empty()) {
    if (error_) std::rethrow_exception(error_);
    return 0;
  }
  spare_.push_back(std::move(records));
  records = std::move(ready_.front());
  ready_.pop_front();
  lock.unlock();
  changed_.notify_all();
  return records.count;
}

}  // namespace cycle
