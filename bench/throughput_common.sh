# Sourced by the whole-run timing scripts: the build and work folders, the
# generated 10-million-record input (seed 1) warm in the page cache, and the
# timing helpers. Sets here, build, work, records, map, input.
# usage (from a script): source "$(dirname "$0")/throughput_common.sh" [BUILD_DIR] [WORK_DIR]
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
work=${2:-$build/throughput}
records=${RECORDS:-10000000}
map="$here/examples/torque_map.dat"
input="$work/input.dat"
mkdir -p "$work"

if [[ ! -f $input || $(($(wc -l < "$input") - 1)) -ne $records ]]; then
  echo "generating inputs in $work (seed 1, $records records, 1000 x 1000 map)"
  /usr/bin/python3 "$here/bench/make_throughput_inputs.py" "$work" --seed 1 --records "$records"
fi
cat "$input" "$work/map.dat" > /dev/null  # page cache warm

# run NAME PROGRAM ARGS...: prints wall seconds and peak resident kB; the
# program's output goes to $work/NAME.log, a failing status is tolerated.
run() {
  local name=$1
  shift
  /usr/bin/time -f '%e %M' -o "$work/$name.time" "$@" > "$work/$name.log" || true
  tail -n 1 "$work/$name.time"
}

# keep_best NAME SECONDS KB: the fastest of a contender's rounds, in the
# associative arrays best and best_kb (declared by the caller).
keep_best() {
  if [[ -z ${best[$1]:-} ]] || awk -v a="$2" -v b="${best[$1]}" 'BEGIN { exit !(a < b) }'; then
    best[$1]=$2
    best_kb[$1]=$3
  fi
}
