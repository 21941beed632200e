#!/usr/bin/env bash
# Installs the Debian packages a make command needs and the machine lacks:
#   scripts/setup.sh run    what `make run` builds and runs (the program)
#   scripts/setup.sh test   what `make test` builds and runs (every test)
# As root it installs the missing ones with apt-get; otherwise it prints the
# apt-get line to run and fails. `make run` and `make test` call it first.
set -euo pipefail

# Every package a command needs goes in its list, with the reason.
run_packages=(
  cmake make g++            # build the program
  libc-bin                  # iconv, to show the closing message
  libcli11-dev              # the options of fuelcalc-check
  nlohmann-json3-dev        # the JSON of fuelcalc-check
)
test_packages=(
  "${run_packages[@]}"
  libgtest-dev              # the unit and end-to-end tests
  libbenchmark-dev          # the benchmarks, built with everything else
  util-linux                # setpriv and prlimit, for permission and size-limit tests
  clang libclang-rt-14-dev  # the fuzz build: clang++, libFuzzer, sanitizer runtimes
  llvm                      # llvm-symbolizer, for readable sanitizer reports
  python3-dev python3-pybind11 pybind11-dev python3-numpy  # the Python package, built by CMake
  python3-pytest            # its tests
  python3-matplotlib        # fuelcalc.plot, fuelcalc-plot and fuelcalc-report
  chromium                  # the report's test opens the page in a headless browser
  chromium-driver python3-selenium  # the report's hover test drives that browser by WebDriver
  python3-pandas python3-dask python3-distributed  # fuelcalc.dask and the fleet example
  python3-venv python3-pip python3-setuptools python3-wheel  # pip install into a fresh venv
  python3-build             # the sdist of the Python package (python3 -m build --sdist)
  clang-format              # the layout check (scripts/check_format.sh)
  pkg-config                # the consumer build through the installed fuelcalc.pc
)

case "${1-}" in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${test_packages[@]}") ;;
  *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac

if ! command -v dpkg-query >/dev/null; then
  echo "setup: not a Debian system; make sure these are installed: ${packages[*]}" >&2
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [[ $status == installed ]] || missing+=("$p")
done
((${#missing[@]})) || exit 0

install_line="apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
if ((EUID != 0)); then
  echo "setup: missing Debian packages for \`make $1\`: ${missing[*]}" >&2
  echo "setup: run as root, then try again:" >&2
  echo "  $install_line" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
# Another apt-get at work holds the package lock: wait for it, up to 10 minutes.
lock_wait=(-o DPkg::Lock::Timeout=600)
apt-get "${lock_wait[@]}" update
apt-get "${lock_wait[@]}" install -y --no-install-recommends "${missing[@]}"
