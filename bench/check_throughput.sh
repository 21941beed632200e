#!/usr/bin/env bash
# Times fuelcalc-check MAP INPUT on the generated 10-million-record input with
# the example map, against one-thread fuelcalc on the same files, interleaved,
# best of three each; prints wall seconds, peak resident memory and the ratio,
# and fails when the check takes more than three times as long as the run or
# more than 32 MB.
#
# usage: bench/check_throughput.sh [BUILD_DIR] [WORK_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
work=${2:-$build/throughput}
records=${RECORDS:-10000000}
mkdir -p "$work"

if [[ ! -f $work/input.dat || $(($(wc -l < "$work/input.dat") - 1)) -ne $records ]]; then
  echo "generating inputs in $work (seed 1, $records records)"
  /usr/bin/python3 "$here/bench/make_throughput_inputs.py" "$work" --seed 1 --records "$records"
fi
map="$here/examples/torque_map.dat"
input="$work/input.dat"
cat "$input" > /dev/null  # page cache warm

# run NAME PROGRAM ARGS...: wall seconds and peak resident kB, from time -v.
run() {
  local name=$1
  shift
  /usr/bin/time -v -o "$work/$name.time" "$@" > "$work/$name.log" || true
  awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0
                                         for (i = 1; i <= n; ++i) s = s * 60 + t[i] }
              /Maximum resident set size/ { kb = $2 }
              END { print s, kb }' "$work/$name.time"
}

declare -A best best_kb
for _ in 1 2 3; do
  for name in program check; do
    rm -f "$work/check_program.out"
    if [[ $name == program ]]; then
      read -r s kb < <(FUELCALC_THREADS=1 run program "$build/fuelcalc" "$map" "$input" "$work/check_program.out")
    else
      read -r s kb < <(run check "$build/fuelcalc-check" "$map" "$input")
    fi
    if [[ -z ${best[$name]:-} ]] || awk -v a="$s" -v b="${best[$name]}" 'BEGIN { exit !(a < b) }'; then
      best[$name]=$s
      best_kb[$name]=$kb
    fi
  done
done
rm -f "$work/check_program.out"

printf 'input: %d records, example map\n' "$records"
printf 'fuelcalc, one thread (best of 3): %s s  peak %s kB\n' "${best[program]}" "${best_kb[program]}"
printf 'fuelcalc-check (best of 3):       %s s  peak %s kB\n' "${best[check]}" "${best_kb[check]}"
awk -v c="${best[check]}" -v p="${best[program]}" -v kb="${best_kb[check]}" 'BEGIN {
  printf "check / run: %.2f (at most 3)\n", c / p
  exit !(c <= 3 * p && kb < 32 * 1024) }'
