#include "checks/check_map_points.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "fuelmap/runs.h"

namespace fuelcalc::checks {
namespace {

// The most speeds one near-equal finding names.
constexpr std::size_t kNamedSpeeds = 6;

bool finite(const MapPoint& p) {
  return std::isfinite(p.speed) && std::isfinite(p.torque) && std::isfinite(p.fuel);
}

std::string lines_text(const std::vector<std::size_t>& lines) {
  std::string text = lines.size() > 1 ? "lines " : "line ";
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += i + 1 == lines.size() ? " and " : ", ";
    text += std::to_string(lines[i]);
  }
  return text;
}

void check_values(const std::vector<MapPoint>& points, FindingLog& log) {
  for (const MapPoint& p : points) {
    if (!finite(p)) {
      log.add(code("map-nonfinite"), p.line, std::nullopt,
              "the point (" + number_text(p.speed) + ", " + number_text(p.torque) + ", " +
                  number_text(p.fuel) +
                  ") holds a value that is not finite: the grid and every result near it "
                  "become infinite or not a number");
    } else if (p.fuel < 0) {
      log.add(code("map-negative-fuel"), p.line, std::nullopt,
              "fuel value " + number_text(p.fuel) + " at speed " + number_text(p.speed) +
                  ", torque " + number_text(p.torque) + " is negative");
    }
  }
}

// The status with which the slopes along one speed's torques fail: -1 for a
// single point, -3 for a repeated torque, 0 when they can be formed.
int group_ierr(std::span<const MapPoint* const> group) {
  if (group.size() == 1) return -1;
  for (std::size_t i = 0; i + 1 < group.size(); ++i)
    if (group[i]->torque == group[i + 1]->torque) return -3;
  return 0;
}

// One speed's points, ascending by torque (then by line); `stop` closes the
// message of a failure of the group's own.
void check_group(std::span<const MapPoint* const> group, FindingLog& log, const std::string& stop) {
  const MapPoint& first = *group.front();
  if (group.size() == 1) {
    log.add(code("map-single-point-speed"), first.line, std::nullopt,
            "speed " + number_text(first.speed) + " has a single point (torque " +
                number_text(first.torque) +
                "): each speed needs at least two, and a speed must repeat exactly to form a "
                "group" +
                stop);
    return;
  }
  bool repeated = false;
  for (std::size_t i = 0; i + 1 < group.size();) {
    std::size_t end = i + 1;
    while (end < group.size() && group[end]->torque == group[i]->torque) ++end;
    if (end - i > 1) {
      repeated = true;
      std::vector<std::size_t> lines;
      for (std::size_t k = i; k < end; ++k) lines.push_back(group[k]->line);
      log.add(code("map-repeated-torque"), group[i + 1]->line, std::nullopt,
              "torque " + number_text(group[i]->torque) + " appears " + std::to_string(end - i) +
                  " times at speed " + number_text(first.speed) + " (" + lines_text(lines) +
                  "): a torque may appear once at each speed" + stop);
    }
    i = end;
  }
  if (repeated ||
      std::any_of(group.begin(), group.end(), [](const MapPoint* p) { return !finite(*p); }))
    return;

  // Changes of direction as the interpolation counts them: signs of the
  // nonzero fuel differences along the torques.
  int changes = 0, last_sign = 0;
  std::size_t first_fall = 0;
  for (std::size_t i = 0; i + 1 < group.size(); ++i) {
    const double a = group[i]->fuel, b = group[i + 1]->fuel;
    const int sign = b > a ? 1 : b < a ? -1 : 0;
    if (sign == 0) continue;
    if (last_sign != 0 && sign != last_sign) ++changes;
    last_sign = sign;
    if (sign < 0 && first_fall == 0) first_fall = i + 1;
  }
  if (first_fall == 0) return;
  const MapPoint& high = *group[first_fall];
  const MapPoint& low = *group[first_fall - 1];
  log.add(code("fuel-direction-change"), high.line, std::nullopt,
          "at speed " + number_text(first.speed) + " fuel falls as torque rises, from " +
              number_text(low.fuel) + " at torque " + number_text(low.torque) + " (line " +
              std::to_string(low.line) + ") to " + number_text(high.fuel) + " at torque " +
              number_text(high.torque) + "; it changes direction " + std::to_string(changes) +
              (changes == 1 ? " time" : " times") + " along the torques of this speed");
}

// Why a cluster of near-equal speeds is not snapped, or empty: snapping
// must not make a map the program refuses, so a torque measured at more
// than one of its speeds, or a cluster holding every speed of the map, keeps
// its speeds. `members` are the cluster's points.
std::string held_reason(std::vector<const MapPoint*> members, bool every_speed,
                        const std::string& mean) {
  if (every_speed)
    return "; --snap leaves them apart, as at their mean " + mean +
           " the map would have a single speed, which the program refuses";
  std::stable_sort(members.begin(), members.end(),
                   [](const MapPoint* a, const MapPoint* b) { return a->torque < b->torque; });
  for (std::size_t i = 0; i + 1 < members.size(); ++i) {
    if (members[i]->torque != members[i + 1]->torque) continue;
    std::vector<std::size_t> lines;
    for (std::size_t k = i; k < members.size() && members[k]->torque == members[i]->torque; ++k)
      lines.push_back(members[k]->line);
    std::sort(lines.begin(), lines.end());
    return "; --snap leaves them apart, as at their mean " + mean + " torque " +
           number_text(members[i]->torque) + " would appear " + std::to_string(lines.size()) +
           " times (" + lines_text(lines) +
           "), which the program refuses: if they are one speed, keep one point per torque";
  }
  return {};
}

// Speeds closer than the tolerance form groups of their own all the same;
// each cluster of them is told once, with the mean of its points' speeds,
// and snapped to it unless that would make a map the program refuses.
void check_near_speeds(MapCheck& result, const std::vector<const MapPoint*>& sorted,
                       FindingLog& log) {
  const double tolerance = result.speed_tolerance;
  const std::vector<std::size_t> starts =
      fuelmap::run_starts(sorted.size(), [&sorted](std::size_t i) { return sorted[i]->speed; });
  std::vector<double> speeds;  // each run's
  for (std::size_t k = 0; k + 1 < starts.size() && !sorted.empty(); ++k)
    speeds.push_back(sorted[starts[k]]->speed);
  std::vector<std::size_t> cluster(speeds.size());  // the first speed of each one's cluster
  for (std::size_t i = 1; i < speeds.size(); ++i)
    cluster[i] = speeds[i] - speeds[i - 1] < tolerance ? cluster[i - 1] : i;

  const auto cluster_of = [&](double speed) {
    return cluster[static_cast<std::size_t>(std::lower_bound(speeds.begin(), speeds.end(), speed) -
                                            speeds.begin())];
  };
  // Sums in file order, so that the snapped value does not depend on sorting.
  std::vector<double> sum(speeds.size(), 0.0);
  std::vector<std::size_t> count(speeds.size(), 0), first_line(speeds.size(), 0);
  for (const MapPoint& p : result.points) {
    if (!finite(p)) continue;
    const std::size_t c = cluster_of(p.speed);
    sum[c] += p.speed;
    if (count[c]++ == 0) first_line[c] = p.line;
  }

  std::vector<bool> snapped(speeds.size(), false);
  std::size_t at = 0;  // in sorted
  for (std::size_t c = 0; c < speeds.size(); ++c) {
    if (cluster[c] != c || c + 1 >= speeds.size() || cluster[c + 1] != c) continue;
    std::size_t end = c + 1;
    while (end < speeds.size() && cluster[end] == c) ++end;
    std::string named;
    const std::size_t shown = std::min(end, c + kNamedSpeeds);
    for (std::size_t i = c; i < shown; ++i)
      named += (i == c                           ? ""
                : i + 1 == shown && shown == end ? " and "
                                                 : ", ") +
               number_text(speeds[i]);
    if (shown < end) named += ", ...";
    // The cluster's points lie together in the speed order.
    while (sorted[at]->speed < speeds[c]) ++at;
    std::vector<const MapPoint*> members;
    for (; at < sorted.size() && sorted[at]->speed <= speeds[end - 1]; ++at)
      members.push_back(sorted[at]);
    const std::string mean = number_text(sum[c] / static_cast<double>(count[c]));
    const std::string held = held_reason(members, c == 0 && end == speeds.size(), mean);
    snapped[c] = held.empty();
    log.add(code("speed-near-equal"), first_line[c], std::nullopt,
            "speeds " + named + " lie closer together than " + rounded_text(tolerance) +
                " but form " + std::to_string(end - c) + " groups, as a speed must repeat exactly" +
                (held.empty() ? ": snap them to their mean " + mean + " (--snap)" : held));
  }

  result.snapped_speeds.clear();
  for (const MapPoint& p : result.points) {
    double speed = p.speed;
    if (finite(p)) {
      const std::size_t c = cluster_of(p.speed);
      if (snapped[c]) speed = sum[c] / static_cast<double>(count[c]);
    }
    result.snapped_speeds.push_back(speed);
  }
}

// Three decimals keep few digits of values below 1: say which unit would do.
void check_small_values(const std::vector<MapPoint>& points, FindingLog& log) {
  double largest = 0.0;
  for (const MapPoint& p : points)
    if (std::isfinite(p.fuel)) largest = std::max(largest, std::fabs(p.fuel));
  if (largest == 0.0 || largest >= 1.0) return;
  double factor = 1000.0;
  while (largest * factor < 1.0 && factor < 1e12) factor *= 1000.0;
  const auto digits = [](double value) {
    return std::max(0, static_cast<int>(std::floor(std::log10(value))) + 1 + 3);
  };
  const char* const unit = factor == 1000.0 ? "g instead of kg" : "mg instead of kg";
  log.add(code("small-values"), std::nullopt, std::nullopt,
          "the largest fuel value is " + number_text(largest) +
              ": with the three decimals of the output the results keep at most " +
              count_text(digits(largest), "significant digit") +
              ", and small ones print as 0.000; in a unit " +
              std::to_string(static_cast<long long>(factor)) + " times smaller (" + unit +
              ", for example) they would keep " + std::to_string(digits(largest * factor)));
}

std::size_t distinct(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return static_cast<std::size_t>(std::unique(values.begin(), values.end()) - values.begin());
}

void check_columns(const std::vector<const MapPoint*>& sorted, FindingLog& log) {
  std::vector<double> speeds, torques;
  for (const MapPoint* p : sorted) {
    speeds.push_back(p->speed);
    torques.push_back(p->torque);
  }
  const std::size_t first = distinct(std::move(speeds)), second = distinct(std::move(torques));
  if (first <= second) return;
  log.add(code("columns-swapped"), std::nullopt, std::nullopt,
          "the first column holds " + std::to_string(first) +
              " distinct values and the second only " + std::to_string(second) +
              ": a map is measured at a few speeds with many torques each; are the columns "
              "in the order torque, speed?");
}

}  // namespace

bool speed_torque_before(const MapPoint* a, const MapPoint* b) {
  if (a->speed != b->speed) return a->speed < b->speed;
  if (a->torque != b->torque) return a->torque < b->torque;
  return a->line < b->line;
}

std::vector<const MapPoint*> by_speed_and_torque(const std::vector<MapPoint>& points) {
  std::vector<const MapPoint*> ordered;
  for (const MapPoint& p : points) ordered.push_back(&p);
  std::sort(ordered.begin(), ordered.end(), speed_torque_before);
  return ordered;
}

std::string stop_text(ProgramStop stop) {
  return "the program stops: interpolation failure, code " + std::to_string(stop.code) + ", ierr " +
         std::to_string(stop.ierr);
}

bool check_points(MapCheck& result, const CheckOptions& options, FindingLog& log,
                  std::optional<ProgramStop> stop, PointSource source) {
  const std::vector<MapPoint>& points = result.points;
  check_values(points, log);

  // Groups of one exact speed, as the program forms them. A coordinate that
  // is not a number joins groups in ways only the grid builder settles: the
  // map's own build then tells what fails.
  const bool unordered = std::any_of(points.begin(), points.end(), [](const MapPoint& p) {
    return std::isnan(p.speed) || std::isnan(p.torque);
  });
  // The program builds the groups in ascending order of speed and stops at
  // the first that fails: the first faulty group is its stop unless an
  // earlier group fails in another way (an infinite torque, say).
  bool named_stop = false, earlier_fault = false;
  if (!unordered) {
    const std::vector<const MapPoint*> ordered = by_speed_and_torque(points);
    const std::vector<std::size_t> starts = fuelmap::run_starts(
        ordered.size(), [&ordered](std::size_t i) { return ordered[i]->speed; });
    for (std::size_t k = 0; k + 1 < starts.size() && !ordered.empty(); ++k) {
      const std::span<const MapPoint* const> group =
          std::span(ordered).subspan(starts[k], starts[k + 1] - starts[k]);
      const int ierr = group_ierr(group);
      std::string clause;
      if (ierr != 0) {
        const bool own = !earlier_fault && stop && stop->code == 1 && stop->ierr == ierr;
        clause = " (" + (own ? stop_text(*stop) : "the program stops before this speed") + ")";
        named_stop = named_stop || own;
        earlier_fault = true;
      }
      check_group(group, log, clause);
    }
  }

  std::vector<const MapPoint*> sorted;
  for (const MapPoint& p : points)
    if (finite(p)) sorted.push_back(&p);
  std::sort(sorted.begin(), sorted.end(), speed_torque_before);

  result.speed_tolerance = 0.0;
  if (!sorted.empty())
    result.speed_tolerance =
        options.speed_tolerance.value_or(0.01 * (sorted.back()->speed - sorted.front()->speed));
  check_near_speeds(result, sorted, log);
  if (source == PointSource::program_file) {
    check_small_values(points, log);
    check_columns(sorted, log);
  }
  return named_stop;
}

std::string interpolation_words(ProgramStop stop, const std::vector<MapPoint>& points) {
  const int code = stop.code, ierr = stop.ierr;
  // An infinite coordinate makes the grid's axis along it infinite: its
  // spacing and its values are infinite or not a number, and the first pass
  // along that axis that meets them fails.
  const bool along_speed = code >= 3 && code <= 6;
  bool nan = false, infinite = false;
  for (const MapPoint& p : points) {
    nan = nan || std::isnan(p.speed) || std::isnan(p.torque);
    infinite = infinite || std::isinf(along_speed ? p.speed : p.torque);
  }
  if (!nan && infinite)
    return "the map's " + std::string(along_speed ? "speeds" : "torques") +
           " include an infinity: the grid cannot be spaced over an infinite range";
  switch (code) {
    case 1:
      return ierr == -1 ? "a speed has fewer than two points"
                        : "the torques at one speed do not strictly increase (a torque repeated "
                          "at a speed, or a value that is not a number)";
    case 3:
      return ierr == -1 ? "all points share one speed: the map needs at least two speeds"
                        : "the speeds do not strictly increase (a value that is not a number)";
    case 5:
    case 7:
      return "the grid's axis along the " + std::string(code == 5 ? "speeds" : "torques") +
             " does not strictly increase: the map spans too small a range of them";
    case 6:
    case 8:
      return "a point whose " + std::string(code == 6 ? "speed" : "torque") +
             " is not a number cannot be placed on the grid";
    default:
      return "the grid could not be built from the map (the evaluation along the " +
             std::string(code == 2 ? "torques" : "speeds") + " failed)";
  }
}

}  // namespace fuelcalc::checks
