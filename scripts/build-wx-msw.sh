#!/usr/bin/env bash
# Builds the static wxWidgets MSW libraries for one MinGW-w64 target from
# Debian's wxwidgets3.2 source package.
#   usage: build-wx-msw.sh i686|x86_64 CACHE_DIR
# The result lands in CACHE_DIR/wx-<version>-<target>-<options hash> (see
# wx-env.sh) and is reused when its stamp file is present.
set -euo pipefail

arch=$1
cache=$2
host=$arch-w64-mingw32
src_root=$cache/src

# Source entries mirror the binary entries the machine already uses.
add_source_entries() {
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      >/etc/apt/sources.list.d/tvdds-src.sources
  else
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >/etc/apt/sources.list.d/tvdds-src.list
  fi
  apt-get update -q
}

fetch_source() {
  [ -d "$src_root/wx" ] && return 0
  ls /etc/apt/sources.list.d/tvdds-src.* >/dev/null 2>&1 || add_source_entries
  mkdir -p "$src_root"
  (cd "$src_root" && apt-get source -q --download-only wxwidgets3.2 \
     && dpkg-source -x wxwidgets3.2_*.dsc wx.tmp && mv wx.tmp wx)
}

fetch_source
here=$(cd "$(dirname "$0")" && pwd)
mapfile -t options < <(grep -v '^\s*\(#\|$\)' "$here/wx-msw-options")
prefix=$(
  export TVDDS_CACHE="$cache"
  . "$here/wx-env.sh"
  if [ "$arch" = i686 ]; then echo "$TVDDS_WX_I686"; else echo "$TVDDS_WX_X86_64"; fi
)
[ -f "$prefix/.complete" ] && { echo "wxWidgets for $arch: cached in $prefix"; exit 0; }

build=$cache/build-$arch
rm -rf "$build" "$prefix"
mkdir -p "$build"
cd "$build"
started=$SECONDS
echo "wxWidgets for $arch: building the static MSW libraries once, from Debian's source package"
echo "  (about 10 minutes on 2 cores; the compiler's output goes to $build/*.log)"
# NOTASKDIALOG keeps the message boxes classic Windows message boxes: without
# the task-dialog declarations wxMessageBox always calls MessageBoxW. The
# source and build directories are mapped away, so that no path of this
# machine reaches the libraries and the programs built with them.
# Any __DATE__ or __TIME__ left in the sources takes the source package's
# date instead of the build machine's clock.
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l "$src_root/wx/debian/changelog" -STimestamp)
export SOURCE_DATE_EPOCH
flags="-O2 -ffile-prefix-map=$src_root/wx=wx -ffile-prefix-map=$build=wx-build"
"$src_root/wx/configure" --host="$host" --build="$(uname -m)-linux-gnu" --prefix="$prefix" \
  "${options[@]}" CC="$host-gcc-win32" CXX="$host-g++-win32" \
  CPPFLAGS="-DNOTASKDIALOG" CXXFLAGS="$flags" CFLAGS="$flags" \
  >configure.log 2>&1 || { tail -n 40 configure.log; exit 1; }
echo "wxWidgets for $arch: configured, compiling ..."
make -j"$(nproc)" >make.log 2>&1 || { tail -n 60 make.log; exit 1; }
make install >install.log 2>&1
touch "$prefix/.complete"
rm -rf "$build"
echo "wxWidgets for $arch: built into $prefix in $(((SECONDS - started) / 60)) min $(((SECONDS - started) % 60)) s"
