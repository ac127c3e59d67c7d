#!/usr/bin/env bash
# Builds the NSIS compiler, its stubs and plug-ins (x86 and amd64, Unicode)
# from Debian's nsis source package, with the installer stub's choice of its
# temporary directory mended (installer/nsis-system-temp.patch), into a cache
# outside the work tree.
#   usage: build-nsis.sh CACHE_DIR
# The result lands in CACHE_DIR/nsis-<version>-<patch and script hash> (see
# wx-env.sh) and is reused when its stamp file is present.
set -euo pipefail

cache=$1
here=$(cd "$(dirname "$0")" && pwd)
src_root=$cache/src
# Debian 13's source: the stubs of the version Debian 12 ships (3.08) choose
# their temporary directory the same way, and that version's upstream
# tarball is no longer in the archive.
version=3.11
package=nsis_$version

# A source entry for Debian 13 on the archive the machine already uses.
add_source_entries() {
  local uri
  uri=$(sed -n 's/^URIs: //p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1)
  [ -n "$uri" ] || uri=$(awk '$1 == "deb" { print $2; exit }' /etc/apt/sources.list)
  cat >/etc/apt/sources.list.d/tvdds-nsis-src.sources <<SOURCES
Types: deb-src
URIs: $uri
Suites: trixie
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  apt-get update -q
}

# apt verifies every file it fetches against the archive's signed index; the
# upstream tarball is all the build uses, Debian's packaging files are not.
fetch_source() {
  [ -d "$src_root/nsis" ] && return 0
  [ -f /etc/apt/sources.list.d/tvdds-nsis-src.sources ] || add_source_entries
  mkdir -p "$src_root"
  (cd "$src_root" && { apt-get source -q --download-only "nsis=$version-1" || true; } \
     && [ -f "$package.orig.tar.gz" ] \
     && rm -rf nsis.tmp && mkdir nsis.tmp && tar -xzf "$package.orig.tar.gz" -C nsis.tmp --strip-components=1 \
     && mv nsis.tmp nsis)
}

fetch_source
prefix=$(
  export TVDDS_CACHE="$cache"
  . "$here/wx-env.sh"
  echo "$TVDDS_NSIS"
)
[ -f "$prefix/.complete" ] && { echo "NSIS: cached in $prefix"; exit 0; }

build=$cache/build-nsis
rm -rf "$build" "$prefix"
cp -a "$src_root/nsis" "$build"
cd "$build"
patch -p1 -s <"$here/../installer/nsis-system-temp.patch"
started=$SECONDS
echo "NSIS $version: building the compiler, stubs and plug-ins once (about 5 minutes)"
SOURCE_DATE_EPOCH=$(stat -c %Y "$src_root/nsis/SConstruct")
export SOURCE_DATE_EPOCH
common=(VERSION="$version" NSIS_CONFIG_CONST_DATA_PATH=no PREFIX="$prefix" PREFIX_BIN="$prefix/Bin"
        SKIPUTILS="Library/RegTool,MakeLangId,Makensisw,NSIS Menu,SubStart,VPatch/Source/GenPat,zip2exe"
        SKIPMISC="MultiUser,Modern UI,VPatch" SKIPDOC=all -j"$(nproc)")
scons "${common[@]}" XGCC_W32_PREFIX=i686-w64-mingw32- \
  install-compiler install-data install-conf \
  >x86.log 2>&1 || { tail -n 40 x86.log; exit 1; }
scons "${common[@]}" TARGET_ARCH=amd64 XGCC_W32_PREFIX=x86_64-w64-mingw32- \
  install-stubs install-plugins >amd64.log 2>&1 || { tail -n 40 amd64.log; exit 1; }
touch "$prefix/.complete"
cd /
rm -rf "$build"
echo "NSIS $version: built into $prefix in $((SECONDS - started)) s"
