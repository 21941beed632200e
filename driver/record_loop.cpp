#include "driver/record_loop.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>

#include "driver/reporting.h"
#include "runtime/formats.h"
#include "runtime/interrupts.h"
#include "runtime/units.h"
#include "textio/plain_values.h"

namespace driver {
namespace {

using runtime::StatusReturn;

// Records per block, a whole number of evaluation blocks.
constexpr int kBlockRecords = 16 * fuelmap::kBlockPoints;
// Blocks the reading thread may be ahead of the writing one.
constexpr int kQueuedBlocks = 4;
// Records at the start of each block whose points the reading thread
// evaluates (a whole number of evaluation blocks); the writing thread
// evaluates the rest, which evens out the two threads' work.
constexpr int kReaderEvaluates = 6 * fuelmap::kBlockPoints;

struct Block {
  int count = 0;
  bool last = false;          // the read that ends the loop came in this block
  std::exception_ptr ending;  // the ending that read met, if it ended the run
  double xs[kBlockRecords], ys[kBlockRecords], fcs[kBlockRecords];
  // The texts X and Y were read from, for their fields of the result line;
  // none (no integer digits) for a statement of the general rules.
  textio::PlainText x_texts[kBlockRecords], y_texts[kBlockRecords];
};

// What the reading keeps from block to block: X and Y hold their values
// between statements, as a null value leaves an item unchanged.
struct Reading {
  int unit = 0;
  double X = 0.0, Y = 0.0;
};

// Reads the next records into the block, up to a full block or the first
// read that does not succeed.
void read_block(Reading& reading, Block& block) {
  block.count = 0;
  block.last = false;
  block.ending = nullptr;
  double* const point[] = {&reading.X, &reading.Y};
  try {
    while (block.count < kBlockRecords) {
      // Plain records at once; a statement of the general rules for the rest.
      const int n = block.count;
      const int taken =
          runtime::read_number_pairs(reading.unit, kBlockRecords - n, block.xs + n, block.ys + n,
                                     block.x_texts + n, block.y_texts + n);
      if (taken > 0) {
        block.count += taken;
        reading.X = block.xs[block.count - 1];
        reading.Y = block.ys[block.count - 1];
        if (block.count == kBlockRecords) break;
      }
      if (runtime::read_numbers(reading.unit, StatusReturn::ErrorAndEnd, point) != 0) {
        block.last = true;
        break;
      }
      const int i = block.count++;
      block.xs[i] = reading.X;
      block.ys[i] = reading.Y;
      block.x_texts[i].integer_digits = block.y_texts[i].integer_digits = 0;
    }
  } catch (...) {
    // An interrupt noticed at a read, a storage failure: the records already
    // read still become lines before the run ends.
    block.last = true;
    block.ending = std::current_exception();
  }
}

// The fuel values of the records [from, to) that the precomputed path takes;
// from is a whole number of evaluation blocks.
void evaluate_block(const fuelmap::PointEvaluator& evaluator, const fuelmap::GRID& grid,
                    Block& block, int from, int to) {
  for (int i = from; i < to; i += fuelmap::kBlockPoints) {
    fuelmap::evaluate_points(evaluator, std::min(fuelmap::kBlockPoints, to - i), block.xs + i,
                             block.ys + i, block.fcs + i, grid);
  }
}

// The block's result lines, in order. A point the precomputed path does not
// take is evaluated by the literal procedure in its turn, so a failure there
// comes after every line before it.
void write_block(int out, const fuelmap::PointEvaluator& evaluator, const fuelmap::GRID& grid,
                 const Block& block, std::int64_t& records) {
  for (int i = 0; i < block.count; ++i) {
    double fc = block.fcs[i];
    if (!fuelmap::takes_point(evaluator, block.xs[i], block.ys[i]))
      driver::CALCFC(block.xs[i], block.ys[i], fc, grid);
    runtime::write_result(out, block.xs[i], block.ys[i], fc, block.x_texts[i], block.y_texts[i]);
    ++records;
  }
  if (block.ending) std::rethrow_exception(block.ending);
}

std::int64_t run_one_thread(int in, int out, const fuelmap::PointEvaluator& evaluator,
                            const fuelmap::GRID& grid) {
  const auto block = std::make_unique<Block>();
  Reading reading{in};
  std::int64_t records = 0;
  do {
    read_block(reading, *block);
    evaluate_block(evaluator, grid, *block, 0, block->count);
    write_block(out, evaluator, grid, *block, records);
  } while (!block->last);
  return records;
}

// The blocks the two threads share: block k lies in slot k % kQueuedBlocks.
struct Ring {
  std::unique_ptr<Block[]> blocks = std::make_unique<Block[]>(kQueuedBlocks);
  std::mutex mutex;
  std::condition_variable changed;
  std::int64_t read = 0;     // blocks the reading thread has handed over
  std::int64_t written = 0;  // blocks the writing thread is done with
  bool stop = false;         // the writing thread has ended the loop
  bool done = false;         // the reading thread has returned
  // The input's reads are given up (runtime::abandon_reads_with).
  std::atomic<bool> abandoned{false};
};

void read_blocks(Ring& ring, Reading reading, const fuelmap::PointEvaluator& evaluator,
                 const fuelmap::GRID& grid) {
  for (std::int64_t k = 0;; ++k) {
    {
      std::unique_lock lock(ring.mutex);
      ring.changed.wait(lock, [&] { return ring.stop || k - ring.written < kQueuedBlocks; });
      if (ring.stop) break;
    }
    Block& block = ring.blocks[k % kQueuedBlocks];
    read_block(reading, block);
    evaluate_block(evaluator, grid, block, 0, std::min(block.count, kReaderEvaluates));
    const bool last = block.last;
    {
      const std::lock_guard lock(ring.mutex);
      ring.read = k + 1;
    }
    ring.changed.notify_all();
    if (last) break;
  }
  {
    const std::lock_guard lock(ring.mutex);
    ring.done = true;
  }
  ring.changed.notify_all();
}

// The reading thread may wait in a read of a pipe or a terminal for input
// that does not come. A signal that ends the run reaches the writing thread
// only (it is blocked in the reading one), so that it interrupts a write
// there as on one thread; while the writing thread waits for a block it then
// sends the reading thread this signal, whose handler does nothing, every
// kWakeInterval: a read waiting for input returns at once (the handlers are
// installed without SA_RESTART), and the run ends there as on one thread.
constexpr int kWakeSignal = SIGURG;  // ignored by default: a stray one changes nothing
constexpr auto kWakeInterval = std::chrono::milliseconds(10);

extern "C" void on_wake(int) {}

// Starts the reading thread with the signals that end the run blocked in it.
std::thread start_reading(Ring& ring, int in, const fuelmap::PointEvaluator& evaluator,
                          const fuelmap::GRID& grid) {
  sigset_t endings, previous;
  sigemptyset(&endings);
  for (const int number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&endings, number);
  pthread_sigmask(SIG_BLOCK, &endings, &previous);
  std::thread reader;
  try {
    reader = std::thread(read_blocks, std::ref(ring), Reading{in}, std::cref(evaluator),
                         std::cref(grid));
  } catch (const std::system_error&) {
    // No thread to be had: the caller reads on this one.
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return reader;
}

// Waits until done() holds, sending the reading thread the wake signal every
// kWakeInterval while wake() holds.
template <class Done, class Wake>
void wait_waking(Ring& ring, std::thread& reader, Done done, Wake wake) {
  std::unique_lock lock(ring.mutex);
  while (!done()) {
    if (ring.changed.wait_for(lock, kWakeInterval) == std::cv_status::timeout && wake())
      pthread_kill(reader.native_handle(), kWakeSignal);
  }
}

// For the two-thread loop's time: the wake signal's handler, and the input's
// reads given up once ring.abandoned is set.
struct WakeSetup {
  int in;
  struct sigaction previous {};

  WakeSetup(int in_unit, const Ring& ring) : in(in_unit) {
    struct sigaction wake {};
    wake.sa_handler = on_wake;
    sigemptyset(&wake.sa_mask);
    sigaction(kWakeSignal, &wake, &previous);
    runtime::abandon_reads_with(in, &ring.abandoned);
  }
  WakeSetup(const WakeSetup&) = delete;
  WakeSetup& operator=(const WakeSetup&) = delete;
  ~WakeSetup() {
    runtime::abandon_reads_with(in, nullptr);
    sigaction(kWakeSignal, &previous, nullptr);
  }
};

// Stops the reading thread and waits for it, however the loop ends; a read
// it waits in is given up.
struct ReaderStop {
  Ring& ring;
  std::thread& reader;
  ~ReaderStop() {
    ring.abandoned = true;
    {
      const std::lock_guard lock(ring.mutex);
      ring.stop = true;
    }
    ring.changed.notify_all();
    wait_waking(
        ring, reader, [&] { return ring.done; }, [] { return true; });
    reader.join();
  }
};

}  // namespace

int record_loop_threads() {
  if (const char* chosen = std::getenv("FUELCALC_THREADS")) {
    const std::string_view value(chosen);
    if (value == "1") return 1;
    if (value == "2") return 2;
  }
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  return sched_getaffinity(0, sizeof cpus, &cpus) == 0 && CPU_COUNT(&cpus) >= 2 ? 2 : 1;
}

std::int64_t run_record_loop(int in, int out, const fuelmap::PointEvaluator& evaluator,
                             const fuelmap::GRID& grid, int threads) {
  if (threads < 2) return run_one_thread(in, out, evaluator, grid);
  Ring ring;
  const WakeSetup wake(in, ring);
  std::thread reader = start_reading(ring, in, evaluator, grid);
  if (!reader.joinable()) return run_one_thread(in, out, evaluator, grid);
  const ReaderStop stop{ring, reader};
  std::int64_t records = 0;
  for (std::int64_t k = 0;; ++k) {
    // A signal noted meanwhile ends the reading at its next read, or at once
    // when it waits in one.
    wait_waking(
        ring, reader, [&] { return ring.read > k; }, runtime::interrupt_noted);
    Block& block = ring.blocks[k % kQueuedBlocks];
    evaluate_block(evaluator, grid, block, std::min(block.count, kReaderEvaluates), block.count);
    write_block(out, evaluator, grid, block, records);
    if (block.last) return records;
    {
      // The slot goes back to the reading thread: the block is not looked
      // at again.
      const std::lock_guard lock(ring.mutex);
      ring.written = k + 1;
    }
    ring.changed.notify_all();
  }
}

}  // namespace driver
