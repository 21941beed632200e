#!/usr/bin/env bash
# Checks that every C++ source of the project is laid out as .clang-format
# says (clang-format from Debian's clang-format package).
#
# usage: scripts/check_format.sh          check; exit 1 on a file that differs
#        scripts/check_format.sh --fix    reformat the checked files in place
set -euo pipefail
cd "$(dirname "$0")/.."

clang_format=${CLANG_FORMAT:-clang-format}
if ! command -v "$clang_format" >/dev/null; then
  echo "check_format: $clang_format not found (Debian package clang-format; scripts/setup.sh test)" >&2
  exit 2
fi

folders=()
for d in driver runtime fuelmap hermite textio checks library include tools check python tests bench examples; do
  [[ -d $d ]] && folders+=("$d")
done
mapfile -t sources < <(find "${folders[@]}" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.hpp' \) |
  LC_ALL=C sort)

diff_out=$(mktemp)
trap 'rm -f "$diff_out"' EXIT
differ=0 checked=0
for f in "${sources[@]}"; do
  f=${f#./}
  checked=$((checked + 1))
  if [[ ${1-} == --fix ]]; then
    "$clang_format" -i "$f"
  elif ! "$clang_format" "$f" | diff -u --label "$f" --label "$f (clang-format)" "$f" - >"$diff_out"; then
    differ=$((differ + 1))
    head -n 40 "$diff_out"
  fi
done
if ((differ)); then
  echo "check_format: $differ of $checked files differ from .clang-format; scripts/check_format.sh --fix reformats them" >&2
  exit 1
fi
echo "check_format: $checked files laid out as .clang-format says"
