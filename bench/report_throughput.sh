#!/usr/bin/env bash
# Times fuelcalc-report on the generated 10-million-record input with the
# example map, best of three; prints the time, the peak resident memory and
# the page's size, and fails at 10 s or more or a page of 2 MB or more.
# PYTHON_DIRS (blank-separated, default BUILD_DIR/python) names packages to
# time in interleaved rounds, e.g. a baseline beside the build.
#
# usage: bench/report_throughput.sh [BUILD_DIR] [WORK_DIR]
set -euo pipefail
source "$(dirname "$0")/throughput_common.sh" "$@"

read -r -a dirs <<< "${PYTHON_DIRS:-$build/python}"
declare -A best best_kb size
for _ in 1 2 3; do
  for i in "${!dirs[@]}"; do
    page="$work/report_$i.html"
    read -r s kb < <(run "report_$i" env PYTHONPATH="${dirs[$i]}" /usr/bin/python3 -m fuelcalc \
      report "$map" "$input" -o "$page")
    keep_best "$i" "$s" "$kb"
    size[$i]=$(stat -c %s "$page")
  done
done

status=0
for i in "${!dirs[@]}"; do
  printf '%s: %6.2f s (best of 3)  peak %5.1f MB  page %4.2f MB\n' "${dirs[$i]}" "${best[$i]}" \
    "$(awk -v k="${best_kb[$i]}" 'BEGIN { print k / 1024 }')" \
    "$(awk -v b="${size[$i]}" 'BEGIN { print b / 1e6 }')"
  awk -v s="${best[$i]}" -v b="${size[$i]}" 'BEGIN { exit !(s < 10 && b < 2e6) }' || status=1
done
echo "machine load: $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min), $(nproc) CPUs allowed"
exit $status
