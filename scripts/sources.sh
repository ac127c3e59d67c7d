# shellcheck shell=bash
# Sourced by the set-up: the sources it builds from, pinned, and their fetch.
# Every machine builds the same bytes only from the same sources, so each
# one is asked for by version and checked against the checksum written here;
# one that differs stops the set-up, naming what was expected and found.
#
# wxWidgets: Debian 12's wxwidgets3.2 source package. The .dsc's SHA-256 pins
# it, and dpkg-source checks the tarballs against the checksums in the .dsc.
wx_package=wxwidgets3.2
wx_version=3.2.2+dfsg-2
wx_dsc_sha256=21cfda00102fcff533956eb7f296d7f6bdb29510eb169637f046b786dd465b8e
# NSIS: the upstream tarball of Debian 13's nsis source package (the tarball of
# the version Debian 12 ships is no longer in the archive).
nsis_version=3.11
nsis_tarball_sha256=9643566e50357918f23c0c4afdac0be8b5305b031b3aeb69f86c17a0a7eb469d

# The files are taken straight from the archive's pool by name, so no source
# entry is added to the machine's package sources: fetching one package never
# changes which version of another apt would pick. TVDDS_DEBIAN_MIRROR names
# another archive, for example a snapshot once a version has left the mirror:
# http://snapshot.debian.org/archive/debian/20250520T000000Z
debian_mirror() {
  local uri=${TVDDS_DEBIAN_MIRROR:-}
  [ -n "$uri" ] || uri=$(awk '$1 == "URIs:" && $2 !~ /security/ { print $2; exit }' \
                           /etc/apt/sources.list.d/debian.sources 2>/dev/null)
  [ -n "$uri" ] || uri=$(awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i ~ /:\/\// && $i !~ /security/) { print $i; exit } }' \
                           /etc/apt/sources.list 2>/dev/null)
  echo "${uri:-http://deb.debian.org/debian}"
}

# Stops with a message unless FOUND is EXPECTED.
expect() {
  local what=$1 expected=$2 found=$3
  [ "$expected" = "$found" ] && return 0
  echo "set-up stopped: $what differs: expected $expected, found ${found:-nothing}" >&2
  return 1
}

# Downloads one file of the pool directory of PACKAGE into DIR.
download() {
  local package=$1 file=$2 dir=$3 url
  url=$(debian_mirror)/pool/main/${package:0:1}/$package/$file
  /usr/lib/apt/apt-helper -o APT::Sandbox::User=root -q download-file "$url" "$dir/$file" >/dev/null 2>"$dir/download.log" ||
    { cat "$dir/download.log" >&2; echo "set-up stopped: $url could not be fetched" >&2; return 1; }
}

sha256_of() { sha256sum <"$1" | cut -d' ' -f1; }

# Unpacks a checked source into DEST: FETCH fills a scratch directory beside
# DEST, whose tree becomes DEST only when every check passed.
fetch_checked() {
  local fetch=$1 dest=$2 work status=0
  mkdir -p "$(dirname "$dest")"
  work=$(mktemp -d "$(dirname "$dest")/fetch-XXXXXX")
  "$fetch" "$work" || status=$?
  # -T: a tree another set-up unpacked meanwhile stays as it is, never gets
  # this one inside it.
  if [ "$status" -eq 0 ] && ! mv -T "$work/tree" "$dest" && [ ! -d "$dest" ]; then
    status=1
  fi
  rm -rf "$work"
  return "$status"
}

# The pinned wxWidgets source package, unpacked into WORK/tree.
wx_source_tree() {
  local work=$1 dsc=${wx_package}_$wx_version.dsc files file
  download "$wx_package" "$dsc" "$work" || return 1
  expect "the version in $dsc" "$wx_version" "$(sed -n 's/^Version: //p' "$work/$dsc")" || return 1
  expect "the SHA-256 of $dsc" "$wx_dsc_sha256" "$(sha256_of "$work/$dsc")" || return 1
  mapfile -t files < <(awk '/^Checksums-Sha256:/ { on = 1; next } /^[^ ]/ { on = 0 } on { print $3 }' "$work/$dsc")
  for file in "${files[@]}"; do
    download "$wx_package" "$file" "$work" || return 1
  done
  dpkg-source -x "$work/$dsc" "$work/tree" >"$work/unpack.log" 2>&1 ||
    { cat "$work/unpack.log" >&2; echo "set-up stopped: $dsc does not match its files (see above)" >&2; return 1; }
}

# The pinned NSIS upstream tarball, unpacked into WORK/tree.
nsis_source_tree() {
  local work=$1 tarball=nsis_$nsis_version.orig.tar.gz
  download nsis "$tarball" "$work" || return 1
  expect "the SHA-256 of $tarball" "$nsis_tarball_sha256" "$(sha256_of "$work/$tarball")" || return 1
  mkdir "$work/tree"
  tar -xzf "$work/$tarball" -C "$work/tree" --strip-components=1
}
