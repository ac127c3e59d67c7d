#!/usr/bin/env bash
# Fails when a file holds a date or time the way a compiler's __DATE__ and
# __TIME__ or a build stamp writes them ("Dec  8 2026", "14:30:26",
# "2026-12-08"): such a string is the build machine's clock, and a file that
# holds one differs from a build of the same commit at another time. Prints
# each such string with its file.
#   usage: find-build-dates.sh FILE...
set -uo pipefail
pattern='(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 0-3][0-9] [12][0-9]{3}'
pattern+='|[0-2][0-9]:[0-5][0-9]:[0-5][0-9]|[12][0-9]{3}-[01][0-9]-[0-3][0-9]'
found=0
for file in "$@"; do
  if grep -aoE "$pattern" "$file" | sed "s|^|$file: |"; then
    found=1
  fi
done
exit "$found"
