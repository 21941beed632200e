// Runs of a cycle accumulated apart (fuelcalc/cycle.hpp): one run appended
// to the run before it, and an accumulator's state as words.
#include <bit>
#include <cmath>
#include <limits>
#include <string>

#include "fuelcalc/cycle.hpp"
#include "fuelcalc/exact_sum.hpp"
#include "library/cycle_state.h"
#include "library/failure_messages.h"

namespace fuelcalc {
namespace {

void merge(CycleSums& into, const CycleSums& from) {
  into.records += from.records;
  into.gaps += from.gaps;
  for (auto [a, b] : {std::pair{&into.gap, &from.gap},
                      {&into.work_positive, &from.work_positive},
                      {&into.work_negative, &from.work_negative},
                      {&into.distance, &from.distance},
                      {&into.without_value, &from.without_value}})
    a->add(*b);
  for (std::size_t c = 0; c < kWhereClasses; ++c) {
    into.class_records[c] += from.class_records[c];
    into.class_time[c].add(from.class_time[c]);
    into.class_fuel[c].add(from.class_fuel[c]);
  }
}

void refuse(const std::string& what) { throw Error(ErrorKind::invalid_argument, what); }

// The words of a state, in one order for writing and reading: each field
// visited once by `f` (an integer, a double or an exact sum).
template <typename State, typename Visit>
void visit_state(State& s, Visit&& f) {
  f.count(s.count);
  auto sums = [&](auto& m) {
    f.count(m.records);
    f.count(m.gaps);
    for (auto* e : {&m.gap, &m.work_positive, &m.work_negative, &m.distance, &m.without_value})
      f.sum(*e);
    for (std::size_t c = 0; c < kWhereClasses; ++c) {
      f.count(m.class_records[c]);
      f.sum(m.class_time[c]);
      f.sum(m.class_fuel[c]);
    }
  };
  sums(s.whole);
  auto record = [&](auto& r) {
    f.flag(r);
    if (!r) return;
    for (auto* x : {&r->time, &r->low, &r->speed, &r->torque, &r->fuel, &r->vehicle_speed})
      f.number(*x);
    f.where(r->where);
    f.boolean(r->open);
  };
  record(s.held);
  record(s.first);
  f.number(s.first_high);
}

struct Writer {
  std::vector<std::int64_t> words;
  void count(std::size_t n) { words.push_back(static_cast<std::int64_t>(n)); }
  void number(double x) { words.push_back(std::bit_cast<std::int64_t>(x)); }
  void sum(const ExactSum& e) {
    const auto w = e.words();
    words.insert(words.end(), w.begin(), w.end());
  }
  void where(Where w) { words.push_back(static_cast<std::int64_t>(w)); }
  void boolean(bool b) { words.push_back(b ? 1 : 0); }
  void flag(const std::optional<HeldRecord>& r) { boolean(r.has_value()); }
};

struct Reader {
  std::span<const std::int64_t> words;
  std::size_t at = 0;
  std::int64_t take() {
    if (at == words.size()) refuse("the words end before the accumulator's state does");
    return words[at++];
  }
  std::int64_t take_in(std::int64_t high) {
    const std::int64_t w = take();
    if (w < 0 || w > high) refuse("the words are no accumulator's state");
    return w;
  }
  void count(std::size_t& n) {
    n = static_cast<std::size_t>(take_in(std::numeric_limits<std::int64_t>::max()));
  }
  void number(double& x) { x = std::bit_cast<double>(take()); }
  void sum(ExactSum& e) {
    if (words.size() - at < ExactSum::kWords) refuse("the words end inside an exact sum");
    e = ExactSum::from_words(words.subspan(at, ExactSum::kWords));
    at += ExactSum::kWords;
  }
  void where(Where& w) { w = static_cast<Where>(take_in(kWhereClasses - 1)); }
  void boolean(bool& b) { b = take_in(1) != 0; }
  void flag(std::optional<HeldRecord>& r) {
    bool present = false;
    boolean(present);
    if (present)
      r.emplace();
    else
      r.reset();
  }
};

}  // namespace

void CycleAccumulator::append(const CycleAccumulator& later) {
  State& a = *state_;
  const State& b = *later.state_;
  if (a.options.phases || b.options.phases) refuse("runs with phases are not appended");
  if (!b.options.open_start) refuse("the later run was not accumulated with open_start");
  if (b.count == 0) return;
  if (a.count == 0) {
    const bool open = a.options.open_start;
    const CycleOptions options = a.options;
    a = b;
    a.options = options;
    // A run that starts the cycle closes its first record as a segment's start.
    if (!open) {
      if (a.first) a.first->open = false;
      if (a.held) a.held->open = false;
      if (a.first) {
        const HeldRecord first = *a.first;
        a.first.reset();
        a.close(first, a.first_high);
      }
    }
    return;
  }
  HeldRecord next = b.first ? *b.first : *b.held;
  const HeldRecord last = *a.held;
  if (!(next.time > last.time)) {
    Error error(ErrorKind::read, "the time " + number_text(next.time) +
                                     " does not rise above the time before it, " +
                                     number_text(last.time));
    error.with_index(a.count);
    throw error;
  }
  const double interval = next.time - last.time;
  const bool gap = interval > a.options.max_gap;
  a.finish(last, gap ? last.time : next.time);
  if (gap) {
    ++a.whole.gaps;
    a.whole.gap.add(interval);
  }
  next.open = false;
  next.low = gap ? next.time : last.time;
  merge(a.whole, b.whole);
  if (b.first) {
    a.close(next, b.first_high);
    a.held = b.held;
  } else {
    a.held = next;
  }
  a.count += b.count;
}

std::vector<std::int64_t> CycleAccumulator::words() const {
  if (state_->options.phases) refuse("an accumulator with phases has no words");
  Writer writer;
  visit_state(*state_, writer);
  return std::move(writer.words);
}

CycleAccumulator CycleAccumulator::from_words(const CycleOptions& options,
                                              std::span<const std::int64_t> words) {
  if (options.phases) refuse("an accumulator with phases has no words");
  CycleAccumulator accumulator(options);
  Reader reader{words};
  visit_state(*accumulator.state_, reader);
  if (reader.at != words.size()) refuse("the words go on after the accumulator's state");
  return accumulator;
}

}  // namespace fuelcalc
