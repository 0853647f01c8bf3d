#!/usr/bin/env bash
# Checks the packages that scripts/package.sh built: their contents and
# dependencies, then installs them with dpkg, builds an outside host against
# /usr with find_package and with pkg-config, runs kvhost --screenshot and
# encprobe from /usr/bin, and purges the packages again.
#   scripts/check-packages.sh [build-dir]          (default: build-pkg)
#   scripts/check-packages.sh --qt6 [build-dir]    (default: build-pkg-qt6)
# --qt6 checks the Qt 6 set (scripts/package.sh --qt6) and installs it beside
# the Qt 5 set of build-pkg, which also holds the Qt-free packages both use;
# the outside host is then built and run for both majors. KV_QT5_PACKAGES may
# name another folder of the Qt 5 set.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
qt=5
suffix=""
if [ "${1:-}" = --qt6 ]; then qt=6; suffix=-qt6; shift; fi
dir=${1:-$root/build-pkg$suffix}/packages
arch_libdir=usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)

qt5_packages=(libvidshow1 libkvcamvideo1 libkvimui1 libvenc libkvcamvideo-dev encprobe kvhost)
if [ $qt = 5 ]; then
  packages=("${qt5_packages[@]}")
  camlib=libkvcamvideo1 uilib=libkvimui1 devpkg=libkvcamvideo-dev hostpkg=kvhost
  qtwidgets=libqt5widgets5
else
  packages=(libkvcamvideo-qt6-1 libkvimui-qt6-1 libkvcamvideo-qt6-dev kvhost-qt6)
  camlib=libkvcamvideo-qt6-1 uilib=libkvimui-qt6-1 devpkg=libkvcamvideo-qt6-dev hostpkg=kvhost-qt6
  qtwidgets=libqt6widgets6
fi
failures=0
fail() {
  echo "check-packages: $*" >&2
  failures=$((failures + 1))
}

declare -A deb=()
for f in "$dir"/*.deb; do
  [ -e "$f" ] || break
  deb[$(dpkg-deb -f "$f" Package)]=$f
done
installed=("${packages[@]}")
if [ $qt = 6 ]; then
  # Both sets side by side: the Qt 5 one brings the Qt-free packages.
  for f in "${KV_QT5_PACKAGES:-$root/build-pkg/packages}"/*.deb; do
    [ -e "$f" ] || { echo "check-packages: --qt6 needs the Qt 5 set in build-pkg" >&2; exit 1; }
    deb[$(dpkg-deb -f "$f" Package)]=$f
  done
  installed+=("${qt5_packages[@]}")
fi
for p in "${installed[@]}"; do
  [ -n "${deb[$p]:-}" ] || { echo "check-packages: no package $p in $dir" >&2; exit 1; }
done

# has/lacks <package> <path>, depends <package> <name regex>: one check each.
has() {
  dpkg-deb -c "${deb[$1]}" | awk '{ print $6 }' | grep -qx "./$2" || fail "$1 lacks /$2"
}
lacks() {
  ! dpkg-deb -c "${deb[$1]}" | awk '{ print $6 }' | grep -qx "./$2" || fail "$1 holds /$2"
}
depends() {
  dpkg-deb -f "${deb[$1]}" Depends | tr ',|' '\n\n' | grep -Eq "^ *$2( |$)" ||
    fail "$1 does not depend on $2 (Depends: $(dpkg-deb -f "${deb[$1]}" Depends))"
}

echo "check-packages: contents and dependencies"
for p in "${packages[@]}"; do
  dpkg-deb -I "${deb[$p]}" | sed -n 's/^ \(Package\|Version\|Depends\|Recommends\): /  \1: /p'
  outside=$(dpkg-deb -c "${deb[$p]}" | awk '{ print $6 }' | grep -v '^\./$' | grep -v '^\./usr/' || true)
  [ -z "$outside" ] || fail "$p installs outside /usr: $outside"
done
has $camlib "$arch_libdir/libKvCamVideo$suffix.so.1"
lacks $camlib "$arch_libdir/libKvCamVideo$suffix.so"
has $uilib "$arch_libdir/libkvimui$suffix.so.1"
has $uilib "usr/share/kvimui$suffix/translations/kvimui_en.qm"
has $uilib "usr/share/kvimui$suffix/translations/kvimui_zh_CN.qm"
for f in "include/KvCamVideo$suffix/camvideo.h" "include/KvCamVideo$suffix/camdevinfo.h" \
         "include/kvimui$suffix/iroominfo.h" \
         "${arch_libdir#usr/}/libKvCamVideo$suffix.so" "${arch_libdir#usr/}/libkvimui$suffix.so" \
         "${arch_libdir#usr/}/pkgconfig/KvCamVideo$suffix.pc" "${arch_libdir#usr/}/pkgconfig/kvimui$suffix.pc" \
         "${arch_libdir#usr/}/cmake/KvCamVideo$suffix/KvCamVideo${suffix}Config.cmake" \
         "${arch_libdir#usr/}/cmake/kvimui$suffix/kvimui${suffix}Config.cmake"; do
  has $devpkg "usr/$f"
done
has $hostpkg usr/bin/kvhost$suffix
depends $camlib libvidshow1
depends $camlib $qtwidgets
depends $camlib libyuv0
depends $uilib $qtwidgets
depends $devpkg $camlib
depends $devpkg $uilib
depends $hostpkg $camlib
depends $hostpkg $uilib
depends $hostpkg $qtwidgets
if [ $qt = 5 ]; then
  has libvidshow1 "$arch_libdir/libvidshow.so.1"
  has libvenc "$arch_libdir/libvenc.so"
  has encprobe usr/bin/encprobe
  depends libvidshow1 "libsdl2-2.0-0"
  depends libvenc "libavcodec[0-9]+"
  depends encprobe libvenc
else
  depends $hostpkg qt6-qpa-plugins
  depends $devpkg qt6-base-dev
  for p in "${packages[@]}"; do
    if dpkg-deb -f "${deb[$p]}" Depends | grep -q 'qt5'; then fail "$p depends on Qt 5"; fi
  done
fi
[ $failures = 0 ] || { echo "check-packages: $failures problems in the packages" >&2; exit 1; }

# Install only onto a machine that has none of them, and leave it so.
for p in "${installed[@]}"; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    echo "check-packages: $p is already installed; not touching it" >&2
    exit 1
  fi
done
work=$(mktemp -d)
purge() {
  dpkg -P "${installed[@]}" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap purge EXIT

echo "check-packages: dpkg -i ${installed[*]}"
debs=()
for p in "${installed[@]}"; do debs+=("${deb[$p]}"); done
dpkg -i "${debs[@]}" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; exit 1; }

echo "check-packages: exported symbols of the installed libraries"
for lib in KvCamVideo$suffix kvimui$suffix vidshow venc; do
  file=/$arch_libdir/lib$lib.so
  [ -e "$file.1" ] && file=$file.1
  bash "$root/tests/packaging/check-exports.sh" "$file" "$root/tests/packaging/exports/${lib%-qt6}.txt" ||
    fail "lib$lib exports more than its contract"
done

echo "check-packages: an outside host built against /usr"
consumer() {
  QT_QPA_PLATFORM=xcb "$root/tests/run-under-xvfb.sh" bash "$root/tests/packaging/run-consumer.sh" \
    "$@" --installed /usr "$root/tests/packaging/consumer"
}
if [ $qt = 6 ]; then
  consumer --qt6 || fail "the outside Qt 6 host failed against /usr"
fi
consumer || fail "the outside Qt 5 host failed against /usr"

echo "check-packages: kvhost$suffix --screenshot from /usr/bin"
(cd "$work" && "$root/tests/run-under-xvfb.sh" /usr/bin/kvhost$suffix --scale 1 --lang en \
   --screenshot "$work/shot.png" --frames 10 >"$work/kvhost.out" 2>"$work/kvhost.err") ||
  { tail -n 20 "$work/kvhost.err" >&2; fail "kvhost failed"; }
cat "$work/kvhost.out"
grep -q '^kvhost: camera .* frames delivered' "$work/kvhost.out" || fail "kvhost gave no summary"
[ -s "$work/shot.png" ] || fail "kvhost wrote no screenshot"
grep -q 'no chat translation' "$work/kvhost.err" && fail "kvhost found no chat translation"

echo "check-packages: encprobe from /usr/bin"
set +e
/usr/bin/encprobe >"$work/encprobe.out" 2>&1
rc=$?
set -e
cat "$work/encprobe.out"
# The exit status is the bit mask of the supported encoders: 0 to 15.
[ $rc -le 15 ] && [ -s "$work/encprobe.out" ] || fail "encprobe failed (status $rc)"

echo "check-packages: dpkg -P"
trap - EXIT
dpkg -P "${installed[@]}" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg -P failed"; }
for p in "${installed[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" && fail "$p is still installed"
done
rm -rf "$work"
[ $failures = 0 ] || { echo "check-packages: $failures problems" >&2; exit 1; }
echo "check-packages: all good; the packages are removed again"
