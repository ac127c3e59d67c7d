#!/usr/bin/env bash
# Installs what is missing, builds the three targets and runs every test:
# the native unit tests under the sanitizers, the end-to-end tests of the
# x86_64 build under Wine, the Windows unit tests under Wine and a bounded
# fuzzing run of the registration edit.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh
. scripts/wx-env.sh

for preset in win64 win32 linux; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

ctest --preset linux
