#!/usr/bin/env bash
# Runs tvdds on a built-in demo installation: a throwaway Wine prefix with the
# product's registry values, a vdds_mmi.ini holding two other vendors and a
# stand-in imaging client. Shows what the program did.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh --demo
. scripts/wx-env.sh
# The shipped 32-bit program where this machine runs 32-bit Wine, the x86_64
# build of the same sources otherwise; the helpers come from the same build,
# and nothing else of it is built.
if scripts/runs-32bit.sh --with-wine; then
  preset=win32
  regview=/reg:32
else
  preset=win64
  regview=/reg:64
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target tvdds catalogs tivoracl boxrun >/dev/null
build=$root/build/$preset
helpers=$build/tests/wine
if [ "$preset" = win32 ]; then
  echo "== Running the shipped 32-bit tvdds.exe"
else
  echo "== Running the x86_64 build of tvdds.exe (this machine cannot execute 32-bit code)"
fi

demo=$(mktemp -d /tmp/tvdds-demo-XXXXXX)
export WINEPREFIX=$demo/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C
wine_quiet() { wine "$@" </dev/null >>"$demo/wine.log" 2>&1; }
cleanup() { wineserver -k >/dev/null 2>&1 || true; rm -rf "$demo"; }
trap cleanup EXIT

echo "== Preparing a Windows machine under Wine in $demo (first start takes a while)"
wineboot -i </dev/null >>"$demo/wine.log" 2>&1
wine_quiet reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
wineserver -k; wineserver -w
wineserver -p </dev/null >/dev/null 2>&1

drive=$WINEPREFIX/drive_c
app="$drive/Program Files/Tivora"
mkdir -p "$app" "$drive/ProgramData/Tivora/conf" "$drive/VDDS Daten" "$drive/harness"
cp "$build/tvdds.exe" "$app/"
cp -r "$build/lang" "$app/"
cp "$helpers/tivoracl.exe" "$app/"
cp "$helpers/boxrun.exe" "$drive/harness/"
printf '[Patient]\r\nName=Muster\r\nVorname=Erika\r\n' >"$drive/VDDS Daten/patient.ini"
printf '; VDDS-MMI registrations\r\n[BVS]\r\nNAME1=XRAYSOFT\r\nNAME2=CEPHVIEW\r\n\r\n[XRAYSOFT]\r\nNAME=XraySoft\r\nPATDATIMPORT=C:\\XraySoft\\bridge.exe\r\n\r\n[CEPHVIEW]\r\nNAME=CephView\r\nPATDATIMPORT=C:\\CephView\\ceph.exe\r\n' >"$drive/windows/vdds_mmi.ini"
cp "$drive/windows/vdds_mmi.ini" "$demo/vdds_mmi.before"

key='HKLM\SOFTWARE\Halvorin\TivoraClient'
wine_quiet reg add "$key" /v BaseAppPath /d 'C:\Program Files\Tivora' /f $regview
wine_quiet reg add "$key" /v BaseDataPath /d 'C:\ProgramData\Tivora' /f $regview

run() {
  local title=$1 cmdline=$2
  echo
  echo "== $title"
  echo "   command line: $cmdline"
  printf '%s\n' "$cmdline" >"$demo/job.txt"
  rm -f "$demo/client.txt" "$demo/result.txt"
  env LC_ALL="${DEMO_LOCALE:-C}" TVDDS_CLIENT_RECORD="Z:${demo//\//\\}\\client.txt" \
    wine 'C:\harness\boxrun.exe' "Z:${demo//\//\\}\\job.txt" "Z:${demo//\//\\}\\result.txt" \
    </dev/null >>"$demo/wine.log" 2>&1
  while IFS=$'\t' read -r kind a b _; do
    case $kind in
      box) echo "   message box \"$a\": ${b//\\n/ / }" ;;
      entry) echo "     entry: $a" ;;
      exit) echo "   tvdds exit code: $a" ;;
      *) echo "   $kind $a $b" ;;
    esac
  done <"$demo/result.txt"
  sleep 1
  if [ -f "$demo/client.txt" ]; then
    echo "   imaging client started with: $(sed -n 's/^cmdline\t//p' "$demo/client.txt")"
    sed -n 's/^arg\t/     argument: /p' "$demo/client.txt"
    touch "$demo/client.txt.release"
  else
    echo "   imaging client not started"
  fi
}

run "First call from the practice software: registers, then opens the patient" \
    '"C:\Program Files\Tivora\tvdds.exe" "C:\VDDS Daten\patient.ini"'
echo
echo "== vdds_mmi.ini: the other vendors' lines are kept, the product is added"
diff -u --label before --label after "$demo/vdds_mmi.before" "$drive/windows/vdds_mmi.ini" | tr -d '\r' || true
echo
echo "== Backup in the installation directory"
for backup in "$app"/*.bak; do
  if [ -e "$backup" ]; then echo "   ${backup##*/}"; fi
done
flag=$(wine reg query "$key" /v VddsIniWritten $regview 2>/dev/null </dev/null | tr -d '\r' | awk '/VddsIniWritten/ {print $3}')
echo "   VddsIniWritten = $flag"

run "Called without a patient file" '"C:\Program Files\Tivora\tvdds.exe"'
DEMO_LOCALE=de_DE.UTF-8 run "A German user: the same warning in German" '"C:\Program Files\Tivora\tvdds.exe"'
