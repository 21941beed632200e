#!/usr/bin/env bash
# Runs one fuzz target for a fixed time, or with SECONDS 0 for a fixed number
# of executions (RUNS). Timed runs copy the committed seeds into WORK/corpus,
# which keeps what the run adds for the next run; counted runs start from the
# seeds alone in WORK/seeds-only with a fixed random seed, so that each does
# the same work. The libFuzzer log goes to WORK/fuzz.log, its closing
# statistics to WORK/final_stats.log, and an input that fails to WORK/
# (crash-*, leak-*, timeout-*, oom-*).
#
# usage: run_fuzz.sh TARGET SEEDS WORK SECONDS RUNS MAX_LEN DICTIONARY
set -euo pipefail
target=$1 seeds=$2 work=$3 seconds=$4 runs=$5 max_len=$6 dictionary=$7
name=$(basename "$target")

if ((seconds > 0)); then
  corpus=$work/corpus budget=(-max_total_time="$seconds")
else
  corpus=$work/seeds-only budget=(-runs="$runs" -seed=1)
  rm -rf "$corpus"
fi
mkdir -p "$corpus"
cp "$seeds"/* "$corpus/"

# -close_fd_mask=3: the program's console lines go to /dev/null; libFuzzer
# and the sanitizers keep writing to the log.
status=0
"$target" "$corpus" -dict="$dictionary" "${budget[@]}" -max_len="$max_len" \
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
