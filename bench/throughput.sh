#!/usr/bin/env bash
# Times fuelcalc end to end on a generated 10-million-record input with the
# example map, on one thread and on two, against the input/output floor
# (bench/io_floor.cpp) and `cat` of the same file, all in the same run; then
# the literal point evaluation on the same input, and the load of a
# one-million-point map.
#
# usage: bench/throughput.sh [BUILD_DIR] [WORK_DIR]
set -euo pipefail
source "$(dirname "$0")/throughput_common.sh" "$@"

# Three rounds, each running every contender once into a new output file
# (cutting a previous 265 MB output would be timed too); the best time of
# each counts. Interleaving the rounds lets a passing load on the machine
# touch every contender alike.
declare -A best best_kb
contenders=(one two floor cat)
contend() {
  case $1 in
    one) FUELCALC_THREADS=1 run one "$build/fuelcalc" "$map" "$input" "$work/one.out" ;;
    two) FUELCALC_THREADS=2 run two "$build/fuelcalc" "$map" "$input" "$work/two.out" ;;
    floor) run floor "$build/io_floor" "$input" "$work/floor.out" ;;
    cat) run cat sh -c 'exec cat "$1" > "$2"' cat "$input" "$work/cat.out" ;;
  esac
}
for _ in 1 2 3; do
  for name in "${contenders[@]}"; do
    rm -f "$work/$name.out"
    read -r s kb < <(contend "$name")
    keep_best "$name" "$s" "$kb"
  done
done

rm -f "$work/literal.out"
read -r lit_s lit_kb < <(run literal "$build/fuelcalc_literal" "$map" "$input" "$work/literal.out")
same_threads=DIFFERENT
cmp -s "$work/one.out" "$work/two.out" && same_threads=identical
same_literal=DIFFERENT
cmp -s "$work/one.out" "$work/literal.out" && same_literal=identical

line() {  # LABEL SECONDS KB
  awk -v l="$1" -v n="$records" -v s="$2" -v kb="$3" \
    'BEGIN { printf "%-26s %7.3f s  %6.2f million records/s  peak %5.1f MB\n", l, s, n / s / 1e6, kb / 1024 }'
}
ratio() {  # LABEL NUMERATOR_SECONDS DENOMINATOR_SECONDS
  awk -v l="$1" -v a="$2" -v b="$3" 'BEGIN { printf "%-34s %.2fx\n", l, b / a }'
}
printf 'input: %d records (%d bytes), example map; best of 3 interleaved rounds\n' \
  "$records" "$(stat -c %s "$input")"
line "fuelcalc, one thread" "${best[one]}" "${best_kb[one]}"
line "fuelcalc, two threads" "${best[two]}" "${best_kb[two]}"
line "floor (bench/io_floor.cpp)" "${best[floor]}" "${best_kb[floor]}"
line "cat" "${best[cat]}" "${best_kb[cat]}"
ratio "one thread / floor:" "${best[one]}" "${best[floor]}"
ratio "two threads / floor:" "${best[two]}" "${best[floor]}"
ratio "two threads / one thread:" "${best[two]}" "${best[one]}"
ratio "cat / one thread:" "${best[cat]}" "${best[one]}"
line "literal procedure" "$lit_s" "$lit_kb"
ratio "speed-up over the literal procedure:" "${best[one]}" "$lit_s"
echo "output files: one and two threads $same_threads, one thread and literal $same_literal"
echo "machine load: $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min), $(nproc) CPUs allowed"

printf 'x y\n1500 500\n' > "$work/one.dat"
read -r big_s big_kb < <(run bigmap "$build/fuelcalc" "$work/map.dat" "$work/one.dat" "$work/bigmap.out")
awk -v s="$big_s" -v kb="$big_kb" \
  'BEGIN { printf "1,000,000-point map, load and grid: %.3f s  peak %.1f MB\n", s, kb / 1024 }'
[[ $same_threads == identical && $same_literal == identical ]]
