#!/usr/bin/env bash
# Times fuelcalc-cycle on the generated 10-million-record input written as a
# CSV table with a time column (time [s],speed [rpm],torque [Nm]), with the
# example map, against one-thread fuelcalc on the same points, interleaved,
# best of three each; prints records per second and peak resident memory,
# and fails when the totals run at less than half the program's records per
# second or take 64 MB or more.
#
# usage: bench/cycle_throughput.sh [BUILD_DIR] [WORK_DIR]
set -euo pipefail
source "$(dirname "$0")/throughput_common.sh" "$@"

table="$work/input_cycle.csv"
if [[ ! -f $table || $table -ot $input ]]; then
  awk 'NR == 1 { print "time [s],speed [rpm],torque [Nm]"; next }
       { print NR - 2 "," $1 "," $2 }' "$input" > "$table"
fi
cat "$table" > /dev/null  # page cache warm

declare -A best best_kb
for _ in 1 2 3; do
  for name in program cycle; do
    rm -f "$work/cycle_program.out"
    if [[ $name == program ]]; then
      read -r s kb < <(FUELCALC_THREADS=1 run program "$build/fuelcalc" "$map" "$input" "$work/cycle_program.out")
    else
      read -r s kb < <(run cycle "$build/fuelcalc-cycle" "$map" "$table" --json)
    fi
    keep_best "$name" "$s" "$kb"
  done
done
rm -f "$work/cycle_program.out"

printf 'input: %d records (%d bytes as a table), example map\n' "$records" "$(stat -c %s "$table")"
awk -v n="$records" -v p="${best[program]}" -v pk="${best_kb[program]}" \
    -v c="${best[cycle]}" -v ck="${best_kb[cycle]}" 'BEGIN {
  printf "fuelcalc, one thread (best of 3): %6.3f s  %6.2f M records/s  peak %5.1f MB\n", p, n / p / 1e6, pk / 1024
  printf "fuelcalc-cycle (best of 3):       %6.3f s  %6.2f M records/s  peak %5.1f MB\n", c, n / c / 1e6, ck / 1024
  printf "cycle / program records per second: %.2f (at least 0.5)\n", p / c
  exit !(p / c >= 0.5 && ck < 64 * 1024) }'
echo "machine load: $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min), $(nproc) CPUs allowed"
