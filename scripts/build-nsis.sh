#!/usr/bin/env bash
# Builds the NSIS compiler, its stubs and plug-ins (x86 and amd64, Unicode)
# from the unpacked upstream tarball, with the installer stub's choice of its
# temporary directory mended (installer/nsis-system-temp.patch).
#   usage: build-nsis.sh SOURCE_DIR PREFIX BUILD_DIR
# The cache key (wx-env.sh) covers this script, the patch and the pinned
# tarball, so everything that makes the build's bytes is here.
set -euo pipefail

src=$1
prefix=$2
build=$3
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=scripts/sources.sh
version=$(. "$here/sources.sh" && echo "$nsis_version")

cp -a "$src/." "$build"
cd "$build"
patch -p1 -s <"$here/../installer/nsis-system-temp.patch"
SOURCE_DATE_EPOCH=$(stat -c %Y "$src/SConstruct")
export SOURCE_DATE_EPOCH
common=(VERSION="$version" NSIS_CONFIG_CONST_DATA_PATH=no PREFIX="$prefix" PREFIX_BIN="$prefix/Bin"
        SKIPUTILS="Library/RegTool,MakeLangId,Makensisw,NSIS Menu,SubStart,VPatch/Source/GenPat,zip2exe"
        SKIPMISC="MultiUser,Modern UI,VPatch" SKIPDOC=all -j"$(nproc)")
scons "${common[@]}" XGCC_W32_PREFIX=i686-w64-mingw32- \
  install-compiler install-data install-conf \
  >x86.log 2>&1 || { tail -n 40 x86.log; exit 1; }
scons "${common[@]}" TARGET_ARCH=amd64 XGCC_W32_PREFIX=x86_64-w64-mingw32- \
  install-stubs install-plugins >amd64.log 2>&1 || { tail -n 40 amd64.log; exit 1; }
