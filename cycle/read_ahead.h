#pragma once
// The cycle's blocks read and converted on a thread of their own, up to two
// blocks ahead of the evaluation and the totals, which take them in file
// order: the totals are the same bits with or without it.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "fuelcalc/cycle_files.hpp"

namespace cycle {

class ReadAhead {
 public:
  // Starts reading blocks of up to block_records records from source, which
  // must outlive this.
  ReadAhead(fuelcalc::CycleFile& source, std::size_t block_records);
  // Stops the reader after the block it is reading and joins it.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The next block into records (replaced); 0 at the end of the cycle. The
  // reader's Error comes out of the call after the blocks before it.
  std::size_t next(fuelcalc::CycleRecords& records);

 private:
  void run(std::size_t block_records);

  fuelcalc::CycleFile& source_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<fuelcalc::CycleRecords> ready_;
  std::deque<fuelcalc::CycleRecords> spare_;  // taken blocks handed back, for their storage
  std::exception_ptr error_;
  bool done_ = false;
  bool stopping_ = false;
  std::thread reader_;
};

}  // namespace cycle
