#!/usr/bin/env bash
# Checks that every #include of the project's own headers runs along the
# layers' arrows (CONTRIBUTING.md): a folder includes headers of its own
# layer and of the layers it points to, directly or through others, and
# callers outside the library include only <fuelcalc/...>. A header of the
# same folder named without a folder ("report.h") is always allowed; tests
# and benchmarks reach every layer.
#
# usage: scripts/check_includes.sh    exit 1 and name each include against the arrows
set -euo pipefail
cd "$(dirname "$0")/.."

# Folder -> the header folders its sources may include.
declare -A allowed=(
  [textio]="textio"
  [hermite]="hermite"
  [fuelmap]="fuelmap hermite textio"
  [checks]="checks fuelcalc fuelmap hermite textio"
  [library]="library checks fuelcalc fuelmap hermite textio"
  [include]="fuelcalc"
  [runtime]="runtime textio"
  [driver]="driver runtime fuelmap hermite textio"
  [tools]="fuelcalc"
  [check]="fuelcalc tools"
  [cycle]="fuelcalc tools"
  [python]="fuelcalc"
  [tests/consumer]="fuelcalc"
)
# The folders whose headers are the project's (the first part of an include).
layers=" textio hermite fuelmap checks library fuelcalc runtime driver tools "

violations=0
checked=0
for folder in "${!allowed[@]}"; do
  [[ -d $folder ]] || continue
  while IFS= read -r -d '' file; do
    checked=$((checked + 1))
    line_number=0
    while IFS= read -r line; do
      line_number=$((line_number + 1))
      [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*[\"\<]([^\"\>]+)[\"\>] ]] || continue
      header=${BASH_REMATCH[1]}
      [[ $header == */* ]] || continue
      first=${header%%/*}
      [[ $layers == *" $first "* ]] || continue
      if [[ " ${allowed[$folder]} " != *" $first "* ]]; then
        echo "$file:$line_number: includes $header; $folder/ may include only: ${allowed[$folder]}"
        violations=$((violations + 1))
      fi
    done <"$file"
  done < <(find "$folder" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.hpp' \) -print0)
done

if ((violations > 0)); then
  echo "check_includes: $violations includes run against the layers' arrows (CONTRIBUTING.md)"
  exit 1
fi
echo "check_includes: $checked files include along the layers' arrows"
