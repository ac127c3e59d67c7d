#!/usr/bin/env bash
# Builds the static wxWidgets MSW libraries for one MinGW-w64 target from the
# unpacked wxwidgets3.2 source package, with the options of wx-msw-options.
#   usage: build-wx-msw.sh i686|x86_64 SOURCE_DIR PREFIX BUILD_DIR
# The cache key (wx-env.sh) covers this script, the options and the pinned
# source, so everything that makes the libraries' bytes is here.
set -euo pipefail

arch=$1
src=$2
prefix=$3
build=$4
host=$arch-w64-mingw32
mapfile -t options < <(grep -v '^\s*\(#\|$\)' "$(dirname "$0")/wx-msw-options")

cd "$build"
# NOTASKDIALOG keeps the message boxes classic Windows message boxes: without
# the task-dialog declarations wxMessageBox always calls MessageBoxW. The
# source and build directories are mapped away, so that no path of this
# machine reaches the libraries and the programs built with them.
# Any __DATE__ or __TIME__ left in the sources takes the source package's
# date instead of the build machine's clock.
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l "$src/debian/changelog" -STimestamp)
export SOURCE_DATE_EPOCH
flags="-O2 -ffile-prefix-map=$src=wx -ffile-prefix-map=$build=wx-build"
"$src/configure" --host="$host" --build="$(uname -m)-linux-gnu" --prefix="$prefix" \
  "${options[@]}" CC="$host-gcc-win32" CXX="$host-g++-win32" \
  CPPFLAGS="-DNOTASKDIALOG" CXXFLAGS="$flags" CFLAGS="$flags" \
  >configure.log 2>&1 || { tail -n 40 configure.log; exit 1; }
# wxGetInstallPrefix() would return the directory configure was given, a path
# of this machine that means nothing on Windows and would reach every program;
# without the define it returns nothing, as in wxWidgets' own Windows builds.
sed -i '/^#define wxINSTALL_PREFIX /d' "lib/wx/include/$host-msw-unicode-static-3.2/wx/setup.h"
echo "wxWidgets for $arch: configured, compiling ..."
make -j"$(nproc)" >make.log 2>&1 || { tail -n 60 make.log; exit 1; }
make install >install.log 2>&1
