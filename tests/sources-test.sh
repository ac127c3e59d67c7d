#!/usr/bin/env bash
# The set-up builds only from the pinned sources. From a local archive that
# holds small packages under the pinned names, the fetch unpacks what matches
# the pins and refuses everything else, naming what it expected and what it
# found, before anything is built and without leaving a tree behind.
#   usage: sources-test.sh SOURCE_DIR
set -euo pipefail
# shellcheck source=scripts/sources.sh
. "$1/scripts/sources.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TVDDS_DEBIAN_MIRROR=file://$work/archive
pinned_dsc=$wx_dsc_sha256
pinned_tarball=$nsis_tarball_sha256
dsc=${wx_package}_$wx_version.dsc
wx_pool=$work/archive/pool/main/${wx_package:0:1}/$wx_package
nsis_pool=$work/archive/pool/main/n/nsis
mkdir -p "$wx_pool" "$nsis_pool"

# A source package of VERSION, built by dpkg-source into the archive, its .dsc
# under the pinned .dsc's name; prints that .dsc's SHA-256.
wx_package_of_version() {
  local version=$1 upstream=${1%-*} dir=$work/package
  rm -rf "$dir" "${wx_pool:?}"/*
  mkdir -p "$dir/tree/debian/source"
  echo '#!/bin/sh' >"$dir/tree/configure"
  tar -cJf "$dir/${wx_package}_$upstream.orig.tar.xz" -C "$dir/tree" configure
  echo '3.0 (quilt)' >"$dir/tree/debian/source/format"
  printf 'Source: %s\nMaintainer: Test <test@example.org>\n\nPackage: %s\nArchitecture: all\nDescription: test\n test\n' \
    "$wx_package" "$wx_package" >"$dir/tree/debian/control"
  printf '%s (%s) unstable; urgency=low\n\n  * Test.\n\n -- Test <test@example.org>  Mon, 01 Jan 2024 00:00:00 +0000\n' \
    "$wx_package" "$version" >"$dir/tree/debian/changelog"
  (cd "$dir" && dpkg-source -q -b tree >/dev/null 2>&1)
  cp "$dir/${wx_package}_$upstream.orig.tar.xz" "$dir"/*.debian.tar.xz "$wx_pool/"
  cp "$dir/${wx_package}_$version.dsc" "$wx_pool/$dsc"
  sha256_of "$wx_pool/$dsc"
}

nsis_tarball() {
  mkdir -p "$work/nsis/nsis-$nsis_version"
  echo "$1" >"$work/nsis/nsis-$nsis_version/SConstruct"
  tar -czf "$nsis_pool/nsis_$nsis_version.orig.tar.gz" -C "$work/nsis" "nsis-$nsis_version"
  sha256_of "$nsis_pool/nsis_$nsis_version.orig.tar.gz"
}

failures=0
cases=0
unpacked() { [ -f "$1/configure" ] || [ -f "$1/SConstruct" ]; }
# Runs FETCH with the pin set to PIN and checks the outcome: unpacked (an
# empty MESSAGE) or refused with MESSAGE and nothing unpacked.
expect_fetch() {
  local case=$1 fetch=$2 pin_name=$3 pin=$4 message=$5 dest=$work/src/$((++cases)) status=0
  printf -v "$pin_name" '%s' "$pin"
  fetch_checked "$fetch" "$dest" 2>"$work/stderr" || status=$?
  if [ -z "$message" ] && [ "$status" -eq 0 ] && unpacked "$dest"; then
    echo "ok: $case"
  elif [ -n "$message" ] && [ "$status" -ne 0 ] && [ ! -e "$dest" ] && grep -qF "$message" "$work/stderr"; then
    echo "ok: $case"
  else
    echo "FAILED: $case (exit $status, $(find "$dest" -type f 2>/dev/null | wc -l) files unpacked), said:"
    sed 's/^/  /' "$work/stderr"
    failures=$((failures + 1))
  fi
  if [ -n "$(find "$work/src" -name 'fetch-*')" ]; then
    echo "FAILED: $case left a scratch directory"
    failures=$((failures + 1))
  fi
}

sha=$(wx_package_of_version "$wx_version")
expect_fetch "the pinned wxWidgets package unpacks" wx_source_tree wx_dsc_sha256 "$sha" ""
expect_fetch "a .dsc of another checksum is refused" wx_source_tree wx_dsc_sha256 "$pinned_dsc" \
  "set-up stopped: the SHA-256 of $dsc differs: expected $pinned_dsc, found $sha"
sha=$(wx_package_of_version 3.2.8+dfsg-1)
expect_fetch "a .dsc of another version is refused" wx_source_tree wx_dsc_sha256 "$sha" \
  "set-up stopped: the version in $dsc differs: expected $wx_version, found 3.2.8+dfsg-1"
sha=$(wx_package_of_version "$wx_version")
echo 'exit 1' >"$work/package/tree/configure"
tar -cJf "$wx_pool/${wx_package}_${wx_version%-*}.orig.tar.xz" -C "$work/package/tree" configure
expect_fetch "a tarball other than the .dsc names is refused" wx_source_tree wx_dsc_sha256 "$sha" \
  "set-up stopped: $dsc does not match its files"
sha=$(nsis_tarball "other sources")
expect_fetch "an NSIS tarball of another checksum is refused" nsis_source_tree nsis_tarball_sha256 \
  "$pinned_tarball" "set-up stopped: the SHA-256 of nsis_$nsis_version.orig.tar.gz differs: expected $pinned_tarball, found $sha"
expect_fetch "the pinned NSIS tarball unpacks" nsis_source_tree nsis_tarball_sha256 "$sha" ""
rm -f "$nsis_pool"/*
expect_fetch "a source missing from the archive is refused" nsis_source_tree nsis_tarball_sha256 "$sha" \
  "set-up stopped: $TVDDS_DEBIAN_MIRROR/pool/main/n/nsis/nsis_$nsis_version.orig.tar.gz could not be fetched"
[ "$failures" -eq 0 ]
