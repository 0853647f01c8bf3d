#!/usr/bin/env bash
# Builds the Debian packages: libkvcamvideo1, libkvimui1, libvidshow1,
# libvenc, libkvcamvideo-dev, kvhost and encprobe, installed under /usr.
#   scripts/package.sh [build-dir]          (default: build-pkg)
#   scripts/package.sh --qt6 [build-dir]    (default: build-pkg-qt6)
# --qt6 builds the Qt 6 set instead: libkvcamvideo-qt6-1, libkvimui-qt6-1,
# libkvcamvideo-qt6-dev and kvhost-qt6, which use the Qt-free packages above.
# The .deb files land in <build-dir>/packages.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
qt=5
suffix=""
if [ "${1:-}" = --qt6 ]; then qt=6; suffix=-qt6; shift; fi
dir=${1:-$root/build-pkg$suffix}

bash "$root/scripts/install-deps.sh"

source "$root/scripts/ccache.sh"
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S "$root" -B "$dir" "${kv_ccache_args[@]}" -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKV_QT_MAJOR=$qt -DKV_WERROR=ON -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j "$jobs"

rm -rf "$dir/packages"
(cd "$dir" && cpack -G DEB)
# CPack also packs the components the Qt 6 ones depend on; those come from the
# Qt 5 set, which both share.
if [ $qt = 6 ]; then
  rm -f "$dir/packages"/libvidshow1_*.deb "$dir/packages"/libvenc_*.deb "$dir/packages"/encprobe_*.deb
fi
echo "package: built into $dir/packages:"
ls -1 "$dir/packages"/*.deb
