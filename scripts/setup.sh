#!/usr/bin/env bash
# Installs from Debian's archive what the builds need and builds, once, into a
# cache outside the work tree what Debian does not ship: the static wxWidgets
# MSW libraries and NSIS (its installer stub mended), from pinned sources
# (sources.sh). Safe to run again: finished steps are skipped.
#   usage: setup.sh [--demo]
# With --demo only what scripts/demo.sh runs: the Windows build of one target
# (i686 where this machine runs 32-bit Wine, x86_64 elsewhere), no installer
# toolchain and nothing of the native build. Without it everything
# scripts/test.sh builds.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
export TVDDS_CACHE=${TVDDS_CACHE:-/var/cache/tvdds}
cache=$TVDDS_CACHE
# shellcheck source=scripts/sources.sh
. "$here/sources.sh"
# shellcheck source=scripts/wx-env.sh
. "$here/wx-env.sh"

demo_packages=(cmake ninja-build dpkg-dev binutils wine wine64 gettext locales)
test_packages=(
  g++ pkg-config g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
  libwxgtk3.2-dev googletest libgtest-dev clang libclang-rt-14-dev
  xvfb imagemagick icoutils scons zlib1g-dev osslsigncode openssl
)

missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

apt_updated=false
install_packages() {
  local missing
  missing=$(missing_packages "$@")
  [ -z "$missing" ] && return 0
  export DEBIAN_FRONTEND=noninteractive
  # An index the archive serves mid-sync fails the update as a whole; the
  # install below still fails with apt's own words where it truly lacks one.
  $apt_updated || apt-get update -q || echo "set-up: some package indexes could not be updated; going on with the ones there are"
  apt_updated=true
  # Never at the price of another package: apt would rather remove ones of
  # the machine (wine64, systemd) than leave a 32-bit library uninstalled.
  # shellcheck disable=SC2086
  apt-get install -y -q --no-install-recommends --no-remove $missing
}

# Locales the end-to-end tests and the demo run Wine under: Wine takes its
# ANSI code page from them (hi_IN.UTF-8 has none but UTF-8, so Wine uses
# 65001) and maps file names by them.
generate_locales() {
  local locale missing=false
  for locale in "hi_IN.UTF-8 UTF-8" "de_DE.UTF-8 UTF-8" "ja_JP.SJIS SHIFT_JIS"; do
    grep -qx "$locale" /etc/locale.gen && continue
    echo "$locale" >>/etc/locale.gen
    missing=true
  done
  if $missing; then locale-gen >/dev/null; fi
}

# 32-bit Wine runs the shipped 32-bit program, but only where the kernel
# executes 32-bit x86 code: a 32-bit Wine loader that cannot run breaks 64-bit
# Wine too, so it is installed only after the probe ran.
install_wine32() {
  "$here/runs-32bit.sh" || return 0
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    apt_updated=false
  fi
  install_packages wine32:i386
}

# Whether PREFIX holds a finished build (its stamp file); says so.
cached() {
  [ -f "$2/.complete" ] || return 1
  echo "$1: cached in $2"
}

# Runs a build script (COMMAND ... PREFIX BUILD_DIR) in a fresh build
# directory and stamps PREFIX finished.
build_into() {
  local what=$1 took=$2 prefix=$3 build=$4 started=$SECONDS
  shift 4
  rm -rf "$build" "$prefix"
  mkdir -p "$build"
  echo "$what: building once ($took on 2 cores; the output goes to $build/*.log)"
  "$@" "$prefix" "$build"
  touch "$prefix/.complete"
  rm -rf "$build"
  echo "$what: built into $prefix in $(((SECONDS - started) / 60)) min $(((SECONDS - started) % 60)) s"
}

wx_msw() {
  local arch=$1 prefix=$2 what="wxWidgets $wx_version for $1" source=$cache/src/${wx_package}_$wx_version
  cached "$what" "$prefix" && return 0
  [ -d "$source" ] || fetch_checked wx_source_tree "$source"
  build_into "$what" "about 5 minutes" "$prefix" "$cache/build-$arch" "$here/build-wx-msw.sh" "$arch" "$source"
}

nsis() {
  local what="NSIS $nsis_version" source=$cache/src/nsis-$nsis_version
  cached "$what" "$TVDDS_NSIS" && return 0
  [ -d "$source" ] || fetch_checked nsis_source_tree "$source"
  build_into "$what" "about 3 minutes" "$TVDDS_NSIS" "$cache/build-nsis" "$here/build-nsis.sh" "$source"
}

# Source entries earlier set-ups added: the fetch takes the pinned files
# without them, and the one for Debian 13 made apt-get source pick Debian 13's
# version of any package.
rm -f /etc/apt/sources.list.d/tvdds-src.sources /etc/apt/sources.list.d/tvdds-src.list \
      /etc/apt/sources.list.d/tvdds-nsis-src.sources
install_packages "${demo_packages[@]}"
generate_locales
install_wine32
if [ "${1:-}" = --demo ]; then
  if "$here/runs-32bit.sh" --with-wine; then
    install_packages g++-mingw-w64-i686-win32 binutils-mingw-w64-i686
    wx_msw i686 "$TVDDS_WX_I686"
  else
    install_packages g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64
    wx_msw x86_64 "$TVDDS_WX_X86_64"
  fi
else
  install_packages "${test_packages[@]}"
  wx_msw x86_64 "$TVDDS_WX_X86_64"
  wx_msw i686 "$TVDDS_WX_I686"
  nsis
fi
