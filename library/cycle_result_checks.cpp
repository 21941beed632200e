// The checker's findings on the results of a run over a cycle, from the
// records the run evaluated: no second evaluation of the map.
#include <string>
#include <utility>

#include "checks/check_summary.h"
#include "fuelcalc/cycle_files.hpp"
#include "library/failure_messages.h"

namespace fuelcalc {

struct CycleResultChecks::State {
  State(const FuelMap& m, const std::string& f) : map(m), file(f), summary(map, CheckOptions{}) {}
  FuelMap map;  // before summary, which refers to it
  std::string file;
  checks::SummaryBuilder summary;
};

CycleResultChecks::CycleResultChecks(const FuelMap& map, const std::string& file)
    : state_(std::make_unique<State>(map, file)) {}

CycleResultChecks::~CycleResultChecks() = default;
CycleResultChecks::CycleResultChecks(CycleResultChecks&&) noexcept = default;
CycleResultChecks& CycleResultChecks::operator=(CycleResultChecks&&) noexcept = default;

void CycleResultChecks::add(const CycleBlock& block) {
  require_same_lengths({"speed", "torque", "fuel", "where", "line"},
                       {block.speed.size(), block.torque.size(), block.fuel.size(),
                        block.where.size(), block.line.size()});
  state_->summary.add_results(block.speed, block.torque, block.fuel, block.where, block.line);
}

std::vector<Finding> CycleResultChecks::findings() {
  const Summary summary = state_->summary.finish();
  checks::FindingLog log(state_->file);
  state_->summary.result_findings(summary, log);
  return log.close();
}

}  // namespace fuelcalc
