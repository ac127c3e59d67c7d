# shellcheck shell=bash source-path=SCRIPTDIR
# Sourced by the set-up and by hand before configuring a Windows preset: where
# the cached wxWidgets MSW builds and the cached NSIS build live. Each is keyed
# by what makes its bytes: the pinned source (sources.sh), the build script
# and its options or patch.
tvdds_cache=${TVDDS_CACHE:-/var/cache/tvdds}
# wx-<version>-ARCH-<key> and nsis-<version>-<key>
mapfile -t tvdds_entries < <(
  cd "$(dirname "${BASH_SOURCE[0]}")" && . ./sources.sh &&
  echo "wx-$wx_version-ARCH-$({ echo "$wx_package $wx_version $wx_dsc_sha256"
                               cat wx-msw-options build-wx-msw.sh; } | sha1sum | cut -c1-8)" &&
  echo "nsis-$nsis_version-$({ echo "$nsis_version $nsis_tarball_sha256"
                              cat build-nsis.sh ../installer/nsis-system-temp.patch; } | sha1sum | cut -c1-8)")
export TVDDS_WX_I686=$tvdds_cache/${tvdds_entries[0]/ARCH/i686}
export TVDDS_WX_X86_64=$tvdds_cache/${tvdds_entries[0]/ARCH/x86_64}
export TVDDS_NSIS=$tvdds_cache/${tvdds_entries[1]}
