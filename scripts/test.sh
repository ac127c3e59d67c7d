#!/usr/bin/env bash
# Installs what is missing, builds every target and runs every test: the
# native unit tests under the sanitizers, the catalog check, the end-to-end
# tests of each Windows build this machine can run (and its installer) under
# Wine, the release check (reproducible, signed) and a bounded fuzzing run of
# the registration edit. Prints the registration benchmarks.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh
. scripts/wx-env.sh

for preset in win64 win32 linux fuzz bench; do
  cmake --preset "$preset" >/dev/null
done
cmake --build --preset win64
cmake --build --preset win32
cmake --build --preset linux
cmake --build --preset fuzz --target registration_fuzzer
cmake --build --preset bench --target registration_bench

if scripts/runs-32bit.sh --with-wine; then
  echo "Windows builds exercised: win32 win64"
else
  echo "Windows builds exercised: win64"
  echo "(the 32-bit build is skipped: this machine cannot execute 32-bit code)"
fi

# The tests come first, so that a failure shows before the fuzzing and the
# benchmarks; those still run, and the command fails at the end.
echo "== Tests"
tests_ok=true
# The end-to-end run prints every test, so that skipped ones show their reason.
ctest --preset linux -E '^e2e$' || tests_ok=false
ctest --preset linux -R '^e2e$' --verbose || tests_ok=false
echo "== Release check: reproducible and signed"
scripts/check-release.sh || tests_ok=false

echo "== Fuzzing the registration edit for ${TVDDS_FUZZ_SECONDS:=30} s"
corpus=$(mktemp -d)
log=$(mktemp)
trap 'rm -rf "$corpus" "$log"' EXIT
cp tests/fuzz/corpus/* "$corpus"/
fuzz_ok=true
if build/fuzz/tests/fuzz/registration_fuzzer -max_total_time="$TVDDS_FUZZ_SECONDS" -max_len=4096 \
     "$corpus" >"$log" 2>&1; then
  grep -E '^Done' "$log"
else
  tail -n 60 "$log"
  fuzz_ok=false
fi

echo "== Registration benchmark of the native build (1 MB vdds_mmi.ini)"
build/bench/tests/bench/registration_bench

echo "== Benchmark of the Windows builds under Wine"
build/linux/tests/e2e/tvdds_windows_bench

$tests_ok || { echo "tests failed (see above)"; exit 1; }
$fuzz_ok || { echo "fuzzing found a failure (see above)"; exit 1; }
