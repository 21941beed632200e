#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "fuelmap/map.h"

namespace fuelmap {
namespace {

// Exchanges entries a and b (0-based) of all three arrays: a point moves whole.
void exchange(MAP& map, int a, int b) {
  std::swap(map.XMAP[a], map.XMAP[b]);
  std::swap(map.YMAP[a], map.YMAP[b]);
  std::swap(map.FCMAP[a], map.FCMAP[b]);
}

// Shell sort of the whole map on the first coordinate. A pair stays only when
// XMAP(J) <= XMAP(J+G) holds, so any comparison with a not-a-number exchanges.
void shell_sort_first(MAP& map) {
  const int n = map.NMAP;
  for (int gap = (n + 1) / 2; gap > 0; gap /= 2) {
    for (int i = gap + 1; i <= n; ++i) {
      for (int j = i - gap; j >= 1; j -= gap) {
        if (map.XMAP[j - 1] <= map.XMAP[j + gap - 1]) break;
        exchange(map, j - 1, j + gap - 1);
      }
    }
  }
}

// Shell sort of the run s..e (1-based, inclusive) on the second coordinate. A
// pair is exchanged only when YMAP(J) > YMAP(J+G) holds, so a not-a-number
// never causes an exchange.
void shell_sort_run(MAP& map, int s, int e) {
  const int length = e - s + 1;
  for (int gap = (length + 1) / 2; gap > 0; gap /= 2) {
    for (int k = s + gap; k <= e; ++k) {
      for (int j = k - gap; j >= s; j -= gap) {
        if (!(map.YMAP[j - 1] > map.YMAP[j + gap - 1])) break;
        exchange(map, j - 1, j + gap - 1);
      }
    }
  }
}

// Walks the map once, comparing every point with the first point of its run
// (an unordered comparison counts as equal), and sorts each run with sort_run.
void order_runs(MAP& map, void (*sort_run)(MAP&, int, int)) {
  const int n = map.NMAP;
  if (n < 1) return;
  int start = 1, length = 0;
  double first = map.XMAP[0];
  for (int i = 1; i <= n; ++i) {
    const double x = map.XMAP[i - 1];
    if (!(x < first || x > first)) {
      ++length;
      if (i == n) sort_run(map, start, start + length - 1);
    } else {
      sort_run(map, start, start + length - 1);
      start = i;
      length = 1;
      first = x;
    }
  }
}

bool holds_not_a_number(const MAP& map) {
  for (int i = 0; i < map.NMAP; ++i)
    if (std::isnan(map.XMAP[i]) || std::isnan(map.YMAP[i])) return true;
  return false;
}

struct Point {
  double x, y, fuel;
};

// The passes of the Shell sorts, each chain of a pass (the points one gap
// apart) gathered, rearranged as its insertion sort leaves it, and put back.
// A chain's insertion sort is found without its exchanges, which with
// not-a-numbers number up to the square of the chain.
template <class ChainPass>
void shell_passes(MAP& map, int s, int e, ChainPass pass) {
  const int length = e - s + 1;
  std::vector<Point> chain;
  for (int gap = (length + 1) / 2; gap > 0; gap /= 2) {
    for (int r = 0; r < gap && s + r <= e; ++r) {
      chain.clear();
      for (int j = s + r; j <= e; j += gap)
        chain.push_back({map.XMAP[j - 1], map.YMAP[j - 1], map.FCMAP[j - 1]});
      pass(chain);
      std::size_t k = 0;
      for (int j = s + r; j <= e; j += gap, ++k) {
        map.XMAP[j - 1] = chain[k].x;
        map.YMAP[j - 1] = chain[k].y;
        map.FCMAP[j - 1] = chain[k].fuel;
      }
    }
  }
}

// The insertion sort of shell_sort_first over one chain. An entry moves down
// while the comparison fails: a not-a-number therefore goes to the front, and
// any other value passes not-a-numbers and greater values and stops just
// after the last value not greater than itself that came before it. So the
// values stand in stable ascending order, and the not-a-numbers in groups:
// one at the front, which each new not-a-number joins first, and one after
// each value, the group a new value takes over from the value it stops
// after (or from the front). Groups are linked lists of chain entries.
void first_coordinate_chain(std::vector<Point>& chain) {
  const auto m = chain.size();
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  struct Group {
    std::size_t head = kNone, tail = kNone;
  };
  std::vector<std::size_t> by_rank, next(m, kNone), rank_of(m, kNone);
  for (std::size_t t = 0; t < m; ++t)
    if (!std::isnan(chain[t].x)) by_rank.push_back(t);
  std::stable_sort(by_rank.begin(), by_rank.end(),
                   [&](std::size_t a, std::size_t b) { return chain[a].x < chain[b].x; });
  for (std::size_t r = 0; r < by_rank.size(); ++r) rank_of[by_rank[r]] = r;

  // Highest rank taken so far below a rank: a Fenwick tree of maxima over
  // ranks + 1 (0: none).
  std::vector<std::size_t> highest(by_rank.size() + 1, 0);
  const auto highest_below = [&](std::size_t rank) {
    std::size_t best = 0;
    for (std::size_t i = rank; i > 0; i &= i - 1) best = std::max(best, highest[i]);
    return best;
  };
  const auto take = [&](std::size_t rank) {
    for (std::size_t i = rank + 1; i < highest.size(); i += i & (~i + 1))
      highest[i] = std::max(highest[i], rank + 1);
  };

  Group front;
  std::vector<Group> after(by_rank.size());
  for (std::size_t t = 0; t < m; ++t) {
    const std::size_t rank = rank_of[t];
    if (rank == kNone) {
      next[t] = front.head;
      front.head = t;
      if (front.tail == kNone) front.tail = t;
      continue;
    }
    const std::size_t below = highest_below(rank);
    Group& taken = below == 0 ? front : after[below - 1];
    after[rank] = taken;
    taken = Group{};
    take(rank);
  }

  std::vector<Point> out;
  out.reserve(m);
  const auto emit = [&](const Group& group) {
    for (std::size_t t = group.head; t != kNone; t = next[t]) out.push_back(chain[t]);
  };
  emit(front);
  for (std::size_t r = 0; r < by_rank.size(); ++r) {
    out.push_back(chain[by_rank[r]]);
    emit(after[r]);
  }
  chain.swap(out);
}

// The insertion sort of shell_sort_run over one chain: an entry moves down
// only past greater values, so a not-a-number stays where it is and nothing
// passes it; each stretch between not-a-numbers ends in stable ascending
// order.
void second_coordinate_chain(std::vector<Point>& chain) {
  const auto by_second = [](const Point& a, const Point& b) { return a.y < b.y; };
  auto start = chain.begin();
  for (auto it = chain.begin(); it != chain.end(); ++it) {
    if (std::isnan(it->y)) {
      std::stable_sort(start, it, by_second);
      start = it + 1;
    }
  }
  std::stable_sort(start, chain.end(), by_second);
}

void shell_sort_first_by_chains(MAP& map) {
  shell_passes(map, 1, map.NMAP, first_coordinate_chain);
}

void shell_sort_run_by_chains(MAP& map, int s, int e) {
  shell_passes(map, s, e, second_coordinate_chain);
}

}  // namespace

void order_map_by_shell_sorts(MAP& map) {
  shell_sort_first(map);
  order_runs(map, shell_sort_run);
}

// Without a not-a-number, (first, second) is a strict weak order, and the
// Shell sorts give the one arrangement sorted by it, up to points equal in
// both coordinates, which the grid builder rejects whatever their order.
// +0.0 and -0.0 compare equal and share a run; points there differ in their
// second coordinate, so their places are fixed too. An O(N log N) sort then
// gives the same map. With a not-a-number the Shell sorts' own passes give
// it, each chain of a pass rearranged in O(N log N).
void order_map(MAP& map) {
  if (holds_not_a_number(map)) {
    shell_sort_first_by_chains(map);
    order_runs(map, shell_sort_run_by_chains);
    return;
  }
  const auto count = static_cast<std::size_t>(map.NMAP);
  std::vector<Point> points(count);
  for (std::size_t i = 0; i < count; ++i) points[i] = {map.XMAP[i], map.YMAP[i], map.FCMAP[i]};
  std::sort(points.begin(), points.end(),
            [](const Point& a, const Point& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
  for (std::size_t i = 0; i < count; ++i) {
    map.XMAP[i] = points[i].x;
    map.YMAP[i] = points[i].y;
    map.FCMAP[i] = points[i].fuel;
  }
}

}  // namespace fuelmap
