# Sourced by the build scripts: where the cached wxWidgets MSW builds live,
# keyed by the source package's version, the configure options and the build
# script, and where the cached NSIS build lives, keyed by its build script and
# the stub's patch.
tvdds_cache=${TVDDS_CACHE:-/var/cache/tvdds}
tvdds_wx_version=$(sed -n 's/^Version: //p' "$tvdds_cache"/src/wxwidgets3.2_*.dsc 2>/dev/null | head -n 1)
tvdds_wx_options=$(cd "$(dirname "${BASH_SOURCE[0]}")" && cat wx-msw-options build-wx-msw.sh | sha1sum | cut -c1-8)
export TVDDS_WX_I686="$tvdds_cache/wx-$tvdds_wx_version-i686-$tvdds_wx_options"
export TVDDS_WX_X86_64="$tvdds_cache/wx-$tvdds_wx_version-x86_64-$tvdds_wx_options"
tvdds_nsis_options=$(cd "$(dirname "${BASH_SOURCE[0]}")" && cat build-nsis.sh ../installer/nsis-system-temp.patch | sha1sum | cut -c1-8)
export TVDDS_NSIS="$tvdds_cache/nsis-3.11-$tvdds_nsis_options"
