#!/usr/bin/env bash
# Checks that a shared libfuelcalc exports the public face alone: every name
# `nm -D -C --defined-only` lists begins with fuelcalc::, or is the type
# information or virtual table of a fuelcalc:: class. Names the other ones and
# exits 1 when there are any.
#
# usage: scripts/check_exports.sh path/to/libfuelcalc.so
set -euo pipefail
library=${1:?usage: check_exports.sh LIBRARY}

names=$(nm -D -C --defined-only "$library" | sed -E 's/^[0-9a-fA-F]* +[A-Za-z] +//')
others=$(grep -Ev '^(fuelcalc::|typeinfo for fuelcalc::|typeinfo name for fuelcalc::|vtable for fuelcalc::)' \
  <<<"$names" || true)
# The checks' internals live in fuelcalc::checks but are no part of the face.
internal=$(grep -E '^fuelcalc::checks::' <<<"$names" || true)
outside=$(printf '%s\n%s\n' "$others" "$internal" | sed '/^$/d')
if [[ -n $outside ]]; then
  echo "$outside"
  echo "check_exports: $library exports $(wc -l <<<"$outside") names outside the public face"
  exit 1
fi
echo "check_exports: $library exports $(wc -l <<<"$names") names, all of the public face"
