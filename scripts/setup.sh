#!/usr/bin/env bash
# Installs everything the builds and tests need from Debian's archive and builds
# the static wxWidgets MSW libraries for both Windows targets and NSIS (its
# installer stub mended) into a cache outside the work tree. Safe to run
# again: finished steps are skipped.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cache=${TVDDS_CACHE:-/var/cache/tvdds}

packages=(
  cmake ninja-build pkg-config dpkg-dev binutils
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
  libwxgtk3.2-dev googletest libgtest-dev clang libclang-rt-14-dev
  wine wine64 xvfb gettext imagemagick icoutils scons zlib1g-dev osslsigncode openssl locales
)

missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

install_packages() {
  local missing
  missing=$(missing_packages "$@")
  [ -z "$missing" ] && return 0
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  # shellcheck disable=SC2086
  apt-get install -y -q --no-install-recommends $missing
}

install_packages "${packages[@]}"

# Locales the end-to-end tests run Wine under: Wine takes its ANSI code page
# from them (hi_IN.UTF-8 has none but UTF-8, so Wine uses 65001) and maps
# file names by them.
for locale in "hi_IN.UTF-8 UTF-8" "de_DE.UTF-8 UTF-8" "ja_JP.SJIS SHIFT_JIS"; do
  if ! grep -qx "$locale" /etc/locale.gen; then
    echo "$locale" >>/etc/locale.gen
    generate_locales=true
  fi
done
if [ "${generate_locales:-false}" = true ]; then
  locale-gen >/dev/null
fi

# 32-bit Wine runs the shipped 32-bit program, but only where the kernel
# executes 32-bit x86 code: a 32-bit Wine loader that cannot run breaks 64-bit
# Wine too, so it is installed only after the probe ran.
if "$here/runs-32bit.sh"; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
  fi
  install_packages wine32:i386
fi

"$here/build-wx-msw.sh" x86_64 "$cache"
"$here/build-wx-msw.sh" i686 "$cache"
"$here/build-nsis.sh" "$cache"
