#!/usr/bin/env bash
# Runs one fuzz target for a fixed time. The committed seeds are copied into
# WORK/corpus, which keeps what the run adds for the next run; the libFuzzer
# log goes to WORK/fuzz.log, its closing statistics to WORK/final_stats.log,
# and an input that fails to WORK/ (crash-*, leak-*, timeout-*, oom-*).
#
# usage: run_fuzz.sh TARGET SEEDS WORK SECONDS MAX_LEN DICTIONARY
set -euo pipefail
target=$1 seeds=$2 work=$3 seconds=$4 max_len=$5 dictionary=$6
name=$(basename "$target")

mkdir -p "$work/corpus"
cp "$seeds"/* "$work/corpus/"

# -close_fd_mask=3: the program's console lines go to /dev/null; libFuzzer
# and the sanitizers keep writing to the log.
status=0
"$target" "$work/corpus" -dict="$dictionary" -max_total_time="$seconds" -max_len="$max_len" \
  -timeout=10 -rss_limit_mb=2048 -close_fd_mask=3 -print_final_stats=1 \
  -artifact_prefix="$work/" >"$work/fuzz.log" 2>&1 || status=$?

{ grep -E '^#[0-9]+[[:space:]]+DONE' "$work/fuzz.log" | sed "s|^|$name: |" || true
  grep -E '^stat::' "$work/fuzz.log" | sed "s|^|$name: |" || true
} >"$work/final_stats.log"
cat "$work/final_stats.log"
if ((status != 0)); then
  echo "$name failed (exit $status); the last lines of $work/fuzz.log:"
  tail -n 80 "$work/fuzz.log"
  ls "$work" | grep -E '^(crash|leak|timeout|oom|slow-unit)-' | sed "s|^|  input: $work/|" || true
fi
exit "$status"
