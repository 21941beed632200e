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
// (an unordered comparison counts as equal), and sorts each run.
void order_runs(MAP& map) {
  const int n = map.NMAP;
  if (n < 1) return;
  int start = 1, length = 0;
  double first = map.XMAP[0];
  for (int i = 1; i <= n; ++i) {
    const double x = map.XMAP[i - 1];
    if (!(x < first || x > first)) {
      ++length;
      if (i == n) shell_sort_run(map, start, start + length - 1);
    } else {
      shell_sort_run(map, start, start + length - 1);
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

}  // namespace

void order_map_by_shell_sorts(MAP& map) {
  shell_sort_first(map);
  order_runs(map);
}

// Without a not-a-number, (first, second) is a strict weak order, and the
// Shell sorts give the one arrangement sorted by it, up to points equal in
// both coordinates, which the grid builder rejects whatever their order.
// +0.0 and -0.0 compare equal and share a run; points there differ in their
// second coordinate, so their places are fixed too. An O(N log N) sort then
// gives the same map.
void order_map(MAP& map) {
  if (holds_not_a_number(map)) {
    order_map_by_shell_sorts(map);
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
