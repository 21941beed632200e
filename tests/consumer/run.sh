#!/usr/bin/env bash
# Builds and runs the consumer project (tests/consumer) three ways, each time
# checking the library's fuel value against the installed program's result
# line for the same point:
#   1. against the tree `cmake --install BUILD` puts into a fresh prefix
#      (find_package(fuelcalc 1.0 CONFIG) through CMAKE_PREFIX_PATH);
#   2. with pkg-config and the installed fuelcalc.pc, no CMake;
#   3. from the sources, through add_subdirectory, with GoogleTest, Google
#      Benchmark, CLI11 and nlohmann_json hidden: the library alone must not
#      need them. The parent calls include(CTest) before adding fuelcalc, and
#      once more after it: its BUILD_TESTING stays ON, its one test is the only
#      one, and its default build holds no fuelcalc program.
#   4. against a shared libfuelcalc built and installed from the sources,
#      which must export the public face alone (scripts/check_exports.sh).
# It also checks that the prefix holds only the public headers and the man
# pages, and that fuelcalc itself configures and builds the library and the
# program with CMake and g++ alone (every optional package hidden). The builds
# that check the build's shape (3 and 4) skip whole-program optimisation, which
# changes neither names nor values and would double their time.
#
# usage: tests/consumer/run.sh BUILD_DIR
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?usage: run.sh BUILD_DIR}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
map=$source_dir/examples/torque_map.dat
speed=1500 torque=120
jobs=${JOBS:-2}

step() { echo "== consumer: $*"; }
# Runs a command with its output in a log, shown only when it fails.
logged() {
  local log=$work/$1.log
  shift
  "$@" >>"$log" 2>&1 || { cat "$log"; return 1; }
}

step "install into $prefix"
logged install cmake --install "$build" --prefix "$prefix"
headers=$(cd "$prefix/include" && find . -type f | LC_ALL=C sort)
expected=$(cd "$source_dir/include" && find . -type f -name '*.hpp' | LC_ALL=C sort)
if [[ $headers != "$expected" ]]; then
  echo "installed headers differ from include/fuelcalc/*.hpp:"; diff <(echo "$expected") <(echo "$headers")
  exit 1
fi
test -f "$prefix/share/man/man1/fuelcalc.1" && test -f "$prefix/share/man/man1/fuelcalc-check.1"

printf 'SPEED TORQUE\n%s %s\n' "$speed" "$torque" >"$work/point.dat"
"$prefix/bin/fuelcalc" "$map" "$work/point.dat" "$work/point.out" >/dev/null

step "find_package against the installed tree"
logged installed cmake -S "$source_dir/tests/consumer" -B "$work/installed" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix"
logged installed cmake --build "$work/installed" -j "$jobs"
"$work/installed/consumer" "$map" "$speed" "$torque" "$work/point.out"

step "pkg-config"
pc_dir=$(dirname "$(find "$prefix" -name fuelcalc.pc)")
# shellcheck disable=SC2046
${CXX:-g++} -std=c++20 -o "$work/pkg_config_consumer" "$source_dir/tests/consumer/main.cpp" \
  $(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs fuelcalc)
"$work/pkg_config_consumer" "$map" "$speed" "$torque" "$work/point.out"

hidden=(-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
        -DCMAKE_DISABLE_FIND_PACKAGE_CLI11=ON -DCMAKE_DISABLE_FIND_PACKAGE_nlohmann_json=ON)

# The parent's tests: its own one alone.
only_parent_test() {
  local tests
  tests=$(cd "$1" && ctest -N | grep -E '^ *Test +#' || true)
  if [[ $(wc -l <<<"$tests") -ne 1 || $tests != *consumer_usage ]]; then
    echo "the parent's tests are not its own one alone:"; echo "$tests"; return 1
  fi
}

step "add_subdirectory, include(CTest) before it, optional packages hidden"
logged before cmake -S "$source_dir/tests/consumer" -B "$work/before" -DCMAKE_BUILD_TYPE=Release \
  -DFUELCALC_SOURCE_DIR="$source_dir" -DCONSUMER_CTEST=before -DFUELCALC_LTO=OFF "${hidden[@]}"
logged before cmake --build "$work/before" -j "$jobs"
"$work/before/consumer" "$map" "$speed" "$torque" "$work/point.out"
if [[ -e $work/before/fuelcalc/fuelcalc || -e $work/before/fuelcalc/fuelcalc-check ]]; then
  echo "the parent's default build built a fuelcalc program"; exit 1
fi
only_parent_test "$work/before"
(cd "$work/before" && logged before ctest --output-on-failure)

step "add_subdirectory, include(CTest) after it"
logged after cmake -S "$source_dir/tests/consumer" -B "$work/after" -DCMAKE_BUILD_TYPE=Release \
  -DFUELCALC_SOURCE_DIR="$source_dir" -DCONSUMER_CTEST=after
only_parent_test "$work/after"

step "fuelcalc with CMake and g++ alone"
logged alone cmake -S "$source_dir" -B "$work/alone" -DPYTHON_EXECUTABLE=/bin/false "${hidden[@]}" \
  -DCMAKE_DISABLE_FIND_PACKAGE_pybind11=ON
logged alone cmake --build "$work/alone" -j "$jobs"
test -x "$work/alone/fuelcalc" && test ! -e "$work/alone/fuelcalc-check"
printf 'SPEED TORQUE\n%s %s\n' "$speed" "$torque" >"$work/alone.dat"
"$work/alone/fuelcalc" "$map" "$work/alone.dat" "$work/alone.out" >/dev/null
cmp "$work/point.out" "$work/alone.out"

step "shared library: the public face alone, and enough for the consumer"
shared_prefix=$work/shared-prefix
logged shared cmake -S "$source_dir" -B "$work/shared" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
  -DBUILD_TESTING=OFF -DFUELCALC_BENCH=OFF -DFUELCALC_PYTHON=OFF -DFUELCALC_LTO=OFF
logged shared cmake --build "$work/shared" -j "$jobs"
"$source_dir/scripts/check_exports.sh" "$work/shared/libfuelcalc.so"
logged shared cmake --install "$work/shared" --prefix "$shared_prefix"
logged shared cmake -S "$source_dir/tests/consumer" -B "$work/shared-consumer" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$shared_prefix"
logged shared cmake --build "$work/shared-consumer" -j "$jobs"
"$work/shared-consumer/consumer" "$map" "$speed" "$torque" "$work/point.out"
