#!/usr/bin/env bash
# Builds the static wxWidgets MSW libraries for one MinGW-w64 target from
# Debian's wxwidgets3.2 source package.
#   usage: build-wx-msw.sh i686|x86_64 CACHE_DIR
# The result lands in CACHE_DIR/wx-<version>-<target> and is reused when its
# stamp file is present.
set -euo pipefail

arch=$1
cache=$2
host=$arch-w64-mingw32
src_root=$cache/src

fetch_source() {
  [ -d "$src_root/wx" ] && return 0
  local list=/etc/apt/sources.list.d/tvdds-src.sources
  if [ ! -f "$list" ]; then
    # Source entries mirror the binary entries the machine already uses.
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$list"
    apt-get update -q
  fi
  mkdir -p "$src_root"
  (cd "$src_root" && apt-get source -q --download-only wxwidgets3.2 \
     && dpkg-source -x wxwidgets3.2_*.dsc wx.tmp && mv wx.tmp wx)
}

fetch_source
version=$(sed -n 's/^Version: //p' "$src_root"/wxwidgets3.2_*.dsc | head -n 1)
prefix=$cache/wx-$version-$arch
[ -f "$prefix/.complete" ] && { echo "wxWidgets $version for $arch: cached in $prefix"; exit 0; }

build=$cache/build-$arch
rm -rf "$build" "$prefix"
mkdir -p "$build"
cd "$build"
# NOTASKDIALOG keeps the message boxes classic Windows message boxes: without
# the task-dialog declarations wxMessageBox always calls MessageBoxW.
# --disable-debug_flag compiles assertions out, so no assertion dialog can
# ever appear in a program that has no visible window.
"$src_root/wx/configure" --host="$host" --build="$(uname -m)-linux-gnu" \
  --prefix="$prefix" --with-msw --disable-shared --enable-unicode \
  --disable-debug_flag --disable-all-features --disable-sys-libs --disable-tests \
  --without-libpng --without-libjpeg --without-libtiff --without-zlib \
  --without-expat --without-regex --without-liblzma --without-opengl \
  --enable-intl --enable-config --enable-datetime --enable-file --enable-ffile \
  --enable-log --enable-loggui --enable-streams --enable-textbuf --enable-textfile \
  --enable-regkey --enable-msgdlg --enable-stdpaths --enable-dynlib \
  --enable-dynamicloader --enable-fontmap --enable-longlong --enable-filesystem \
  --enable-stopwatch --enable-threads --enable-ole --enable-dataobj --enable-variant --disable-accessibility --enable-wxdib --enable-image --enable-menus --enable-menubar \
  --enable-button --enable-stattext --enable-statbmp --enable-statline --enable-artstd \
  CC="$host-gcc-win32" CXX="$host-g++-win32" \
  CPPFLAGS="-DNOTASKDIALOG" CXXFLAGS="-O2" CFLAGS="-O2" \
  >configure.log 2>&1 || { tail -n 40 configure.log; exit 1; }
make -j"$(nproc)" >make.log 2>&1 || { tail -n 60 make.log; exit 1; }
make install >install.log 2>&1
touch "$prefix/.complete"
rm -rf "$build"
echo "wxWidgets $version for $arch: built into $prefix"
