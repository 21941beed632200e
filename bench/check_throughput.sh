#!/usr/bin/env bash
# Times fuelcalc-check MAP INPUT on the generated 10-million-record input with
# the example map, against one-thread fuelcalc on the same files, interleaved,
# best of three each; prints wall seconds, peak resident memory and the ratio,
# and fails when the check takes more than three times as long as the run or
# more than 32 MB.
#
# usage: bench/check_throughput.sh [BUILD_DIR] [WORK_DIR]
set -euo pipefail
source "$(dirname "$0")/throughput_common.sh" "$@"

declare -A best best_kb
for _ in 1 2 3; do
  for name in program check; do
    rm -f "$work/check_program.out"
    if [[ $name == program ]]; then
      read -r s kb < <(FUELCALC_THREADS=1 run program "$build/fuelcalc" "$map" "$input" "$work/check_program.out")
    else
      read -r s kb < <(run check "$build/fuelcalc-check" "$map" "$input")
    fi
    keep_best "$name" "$s" "$kb"
  done
done
rm -f "$work/check_program.out"

printf 'input: %d records, example map\n' "$records"
printf 'fuelcalc, one thread (best of 3): %s s  peak %s kB\n' "${best[program]}" "${best_kb[program]}"
printf 'fuelcalc-check (best of 3):       %s s  peak %s kB\n' "${best[check]}" "${best_kb[check]}"
awk -v c="${best[check]}" -v p="${best[program]}" -v kb="${best_kb[check]}" 'BEGIN {
  printf "check / run: %.2f (at most 3)\n", c / p
  exit !(c <= 3 * p && kb < 32 * 1024) }'
