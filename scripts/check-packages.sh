#!/usr/bin/env bash
# Checks the packages that scripts/package.sh built: their contents and
# dependencies, then installs them with dpkg, builds an outside host against
# /usr with find_package and with pkg-config, runs kvhost --screenshot and
# encprobe from /usr/bin, and purges the packages again.
#   scripts/check-packages.sh [build-dir]   (default: build-pkg)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build-pkg}/packages
arch_libdir=usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)

packages=(libvidshow1 libkvcamvideo1 libkvimui1 libvenc libkvcamvideo-dev encprobe kvhost)
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
for p in "${packages[@]}"; do
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
has libkvcamvideo1 "$arch_libdir/libKvCamVideo.so.1"
lacks libkvcamvideo1 "$arch_libdir/libKvCamVideo.so"
has libkvimui1 "$arch_libdir/libkvimui.so.1"
has libkvimui1 "usr/share/kvimui/translations/kvimui_en.qm"
has libkvimui1 "usr/share/kvimui/translations/kvimui_zh_CN.qm"
has libvidshow1 "$arch_libdir/libvidshow.so.1"
has libvenc "$arch_libdir/libvenc.so"
for f in include/KvCamVideo/camvideo.h include/KvCamVideo/camdevinfo.h include/kvimui/iroominfo.h \
         "${arch_libdir#usr/}/libKvCamVideo.so" "${arch_libdir#usr/}/libkvimui.so" \
         "${arch_libdir#usr/}/pkgconfig/KvCamVideo.pc" "${arch_libdir#usr/}/pkgconfig/kvimui.pc" \
         "${arch_libdir#usr/}/cmake/KvCamVideo/KvCamVideoConfig.cmake" \
         "${arch_libdir#usr/}/cmake/kvimui/kvimuiConfig.cmake"; do
  has libkvcamvideo-dev "usr/$f"
done
has kvhost usr/bin/kvhost
has encprobe usr/bin/encprobe
depends libkvcamvideo1 libvidshow1
depends libkvcamvideo1 libqt5widgets5
depends libkvcamvideo1 libyuv0
depends libkvimui1 libqt5widgets5
depends libvidshow1 "libsdl2-2.0-0"
depends libvenc "libavcodec[0-9]+"
depends libkvcamvideo-dev libkvcamvideo1
depends libkvcamvideo-dev libkvimui1
depends kvhost libkvcamvideo1
depends kvhost libkvimui1
depends kvhost libqt5widgets5
depends encprobe libvenc
[ $failures = 0 ] || { echo "check-packages: $failures problems in the packages" >&2; exit 1; }

# Install only onto a machine that has none of them, and leave it so.
for p in "${packages[@]}"; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    echo "check-packages: $p is already installed; not touching it" >&2
    exit 1
  fi
done
work=$(mktemp -d)
purge() {
  dpkg -P "${packages[@]}" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap purge EXIT

echo "check-packages: dpkg -i"
dpkg -i "${deb[@]}" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; exit 1; }

echo "check-packages: exported symbols of the installed libraries"
for lib in KvCamVideo kvimui vidshow venc; do
  file=/$arch_libdir/lib$lib.so
  [ -e "$file.1" ] && file=$file.1
  bash "$root/tests/packaging/check-exports.sh" "$file" "$root/tests/packaging/exports/$lib.txt" ||
    fail "lib$lib exports more than its contract"
done

echo "check-packages: an outside host built against /usr"
QT_QPA_PLATFORM=offscreen bash "$root/tests/packaging/run-consumer.sh" --installed /usr \
  "$root/tests/packaging/consumer" || fail "the outside host failed against /usr"

echo "check-packages: kvhost --screenshot from /usr/bin"
(cd "$work" && "$root/tests/run-under-xvfb.sh" /usr/bin/kvhost --scale 1 --lang en \
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
dpkg -P "${packages[@]}" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg -P failed"; }
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" && fail "$p is still installed"
done
rm -rf "$work"
[ $failures = 0 ] || { echo "check-packages: $failures problems" >&2; exit 1; }
echo "check-packages: all good; the packages are removed again"
