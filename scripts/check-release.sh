#!/usr/bin/env bash
# Checks what an IT provider gets from the shipped 32-bit build in build/win32
# (brought up to date first):
#   - reproducible: the same commit built again in another directory, at
#     another time, gives the same tvdds.exe, tvdds-check.exe and
#     tvdds-setup.exe, none of them holds a date or time of the build
#     machine's clock, and the programs hold no path of its work tree or
#     cache (which a rebuild against the same wxWidgets cache could not show);
#   - the installer has the mended NSIS stub, and the support check carries
#     the program's manifest and a version;
#   - signed: with a throwaway code-signing certificate the program, the
#     uninstaller and the installer verify against it, the signed program is
#     the unsigned one plus its signature, and the signed installer installs
#     silently under Wine and registers the product.
# Prints one line a check and a closing count; exits 1 when one failed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wx-env.sh"
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct)}

work=$(mktemp -d /tmp/tvdds-release-XXXXXX)
prefix=$work/prefix
cleanup() {
  [ -d "$prefix" ] && WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

passed=0
failed=0
check() {
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
    passed=$((passed + 1))
  else
    echo "FAILED: $what"
    failed=$((failed + 1))
  fi
}
same_file() { cmp -s "$1" "$2"; }

# The work tree's files, tracked or new, in another directory.
mkdir -p "$work/src"
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
  tar --null -T - -cf -) | tar -xf - -C "$work/src"

cmake --build "$root/build/win32" --target installer >/dev/null

started=$SECONDS
cmake --preset win32 -S "$work/src" >/dev/null
cmake --build "$work/src/build/win32" --target installer >"$work/build.log" 2>&1 ||
  { tail -n 40 "$work/build.log"; exit 1; }
echo "second build of the win32 preset (program and installer): $((SECONDS - started)) s"
shipped=$root/build/win32
again=$work/src/build/win32
for file in tvdds.exe tvdds-check.exe tvdds-setup.exe; do
  check "$file is the same in both builds: $(sha256sum <"$shipped/$file" | cut -c1-16)" \
    same_file "$shipped/$file" "$again/$file"
done
check "no date or time of the build in tvdds.exe and tvdds-check.exe" \
  "$root/scripts/find-build-dates.sh" "$shipped/tvdds.exe" "$shipped/tvdds-check.exe"
# Neither the work tree's path nor the cache's (the wxWidgets build) reaches
# the programs, in narrow or in UTF-16 strings: the bytes must not depend on
# where this machine keeps them.
no_machine_path() {
  # grep reads every string: with -q it would stop at the first match, and
  # the pipe's broken strings would make the negation pass.
  ! { strings -a "$1"; strings -a -el "$1"; } | grep -F -e "$root" -e "$tvdds_cache" >/dev/null
}
for file in tvdds.exe tvdds-check.exe; do
  check "no path of the build machine in $file" no_machine_path "$shipped/$file"
done
holds() { grep -aqF "$2" "$1"; }
check "tvdds-check.exe runs as invoker, never virtualized" \
  holds "$shipped/tvdds-check.exe" 'requestedExecutionLevel level="asInvoker"'
check "tvdds-check.exe names the Windows versions it supports" \
  holds "$shipped/tvdds-check.exe" 'supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"'
# The mended stub of scripts/build-nsis.sh looks up GetTempPath2W, which no
# stock NSIS stub names.
check "tvdds-setup.exe has the mended NSIS stub ($(basename "$TVDDS_NSIS"))" \
  holds "$shipped/tvdds-setup.exe" GetTempPath2W
# Version strings are UTF-16.
check "tvdds-check.exe carries a version" \
  grep -aqP 'T\x00i\x00v\x00o\x00r\x00a\x00 \x00s\x00u\x00p\x00p\x00o\x00r\x00t' \
  "$shipped/tvdds-check.exe"

# A throwaway code-signing certificate, valid from before the commit time.
openssl req -x509 -newkey rsa:2048 -nodes -days 36500 -subj "/CN=Tivora release check" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -in "$work/cert.pem" -inkey "$work/key.pem" -passout pass:check \
  -out "$work/sign.p12"

# The password comes from a file, as on a build server that keeps it out of
# the environment.
printf 'check' >"$work/sign.pass"
started=$SECONDS
TVDDS_SIGN_PKCS12=$work/sign.p12 TVDDS_SIGN_PASSWORD_FILE=$work/sign.pass \
  cmake --preset win32 -S "$work/src" >/dev/null
TVDDS_SIGN_PKCS12=$work/sign.p12 TVDDS_SIGN_PASSWORD_FILE=$work/sign.pass \
  cmake --build "$again" --target installer >"$work/build.log" 2>&1 ||
  { tail -n 40 "$work/build.log"; exit 1; }
echo "signed build: $((SECONDS - started)) s"
verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.log" 2>&1; }
check "signed tvdds.exe verifies" verify "$again/tvdds.exe"
check "signed tvdds-check.exe verifies" verify "$again/tvdds-check.exe"
check "signed tvdds-setup.exe verifies" verify "$again/tvdds-setup.exe"
# Without its signature the signed program is the unsigned build, byte for
# byte (Debian 12's osslsigncode has no extract-data yet).
osslsigncode remove-signature -in "$again/tvdds.exe" -out "$work/unsigned.exe" >/dev/null
check "signed tvdds.exe is the unsigned build plus its signature" \
  same_file "$shipped/tvdds.exe" "$work/unsigned.exe"

if "$root/scripts/runs-32bit.sh" --with-wine; then
  export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all DISPLAY=
  { wineboot -i && wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f &&
    wineserver -k; } >"$work/wine.log" 2>&1
  printf '[BVS]\r\nNAME1=XRAY\r\n' >"$prefix/drive_c/windows/vdds_mmi.ini"
  installed() {
    # The wait for the wine server lets every process of the install end.
    wine "Z:${again//\//\\}\\tvdds-setup.exe" /S </dev/null >>"$work/wine.log" 2>&1 &&
      wineserver -w && grep -q 'NAME2=TIVORA' "$prefix/drive_c/windows/vdds_mmi.ini"
  }
  check "signed installer installs silently and registers" installed
  check "installed uninstaller verifies" \
    verify "$prefix/drive_c/Program Files (x86)/Tivora/uninstall.exe"
  check "no date or time of the build in the installed uninstaller" \
    "$root/scripts/find-build-dates.sh" "$prefix/drive_c/Program Files (x86)/Tivora/uninstall.exe"
else
  echo "skipped: installing the signed installer (this machine cannot execute 32-bit code)"
fi

echo "release check: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
