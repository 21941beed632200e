#!/usr/bin/env bash
# Runs every block fenced ```sh in README.md and docs/*.md, in the order they
# stand, each with bash -euo pipefail in a scratch folder of its own that sees
# the source tree's entries through symbolic links (build/ being BUILD_DIR),
# so that what a block writes stays out of the tree. Blocks that cannot run
# here are fenced ```sh-skip and start with a comment saying why.
#
# usage: scripts/docs_check.sh [BUILD_DIR]   (default build; built already)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cd "$root"
failed=0 count=0
for doc in README.md docs/*.md; do
  # One file per block, named for its first line: doc:line.
  awk -v out="$work/blocks" -v doc="$doc" '
    BEGIN { system("mkdir -p " out) }
    /^```/ && !inside {
      inside = 1; kind = substr($0, 4); start = NR + 1
      file = sprintf("%s/%05d", out, ++n); print doc ":" start " " kind > (file ".where"); next
    }
    /^```/ && inside { inside = 0; next }
    inside && (kind == "sh" || kind == "sh-skip") { print > file }
  ' "$doc"
  for where in "$work"/blocks/*.where; do
    [[ -e $where ]] || continue
    read -r location kind <"$where"
    block=${where%.where}
    case $kind in
      sh-skip)
        if ! head -n 1 "$block" 2>/dev/null | grep -q '^# '; then
          echo "docs-check: $location: an sh-skip block starts with a '# reason' line"
          failed=1
        fi ;;
      sh)
        count=$((count + 1))
        scratch=$work/run/$count
        mkdir -p "$scratch"
        for entry in "$root"/* "$root"/.[!.]*; do
          [[ -e $entry ]] && ln -s "$entry" "$scratch/"
        done
        rm -f "$scratch/build" && ln -s "$build" "$scratch/build"
        if ! (cd "$scratch" && timeout 300 bash -euo pipefail "$block") >"$block.log" 2>&1; then
          echo "docs-check: $location: the block failed:"
          sed 's/^/    /' "$block"
          echo "  its output:"
          sed 's/^/    /' "$block.log"
          failed=1
        fi ;;
    esac
  done
  rm -rf "$work/blocks"
done
echo "docs-check: $count blocks run"
exit $failed
