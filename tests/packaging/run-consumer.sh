#!/usr/bin/env bash
# Installs a build into a temporary prefix, then builds and runs the outside
# host project in consumer/ against it: through the CMake packages, through
# pkg-config in CMake, and with a plain compiler line from pkg-config.
#   run-consumer.sh [--qt6] <build dir> <consumer source dir>
#   run-consumer.sh [--qt6] --installed <prefix> <consumer source dir>
# The second form uses what is already installed there (the packages in /usr).
# --qt6: a Qt 6 host, which finds the libraries under their -qt6 names.
set -euo pipefail
qt=5
suffix=""
if [ "$1" = --qt6 ]; then qt=6; suffix=-qt6; shift; fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ "$1" = --installed ]; then
  prefix=$2
  src=$3
else
  prefix=$work/prefix
  src=$2
  cmake --install "$1" --prefix "$prefix" >/dev/null
fi

lib=$(find "$prefix"/lib* -maxdepth 2 -name "libKvCamVideo$suffix.so.1" 2>/dev/null | head -n 1)
lib=${lib%/*}
[ -n "$lib" ] || { echo "run-consumer: no libKvCamVideo$suffix.so.1 under $prefix" >&2; exit 1; }
echo "run-consumer: libraries in $lib"

export KV_VIRTUAL_CAMERAS='[{"name": "Consumer Cam", "path": "virtual:consumer",
  "formats": [{"fourcc": "MJPG", "width": 320, "height": 240, "fps": 30}], "pattern": "bars"}]'
export PKG_CONFIG_PATH=$lib/pkgconfig
status=0
for way in find_package pkg-config plain; do
  dir=$work/build-$way
  mkdir -p "$dir"
  echo "run-consumer: --- $way"
  if [ $way = plain ]; then
    # A plain compiler line with nothing but what pkg-config says: the linker
    # must find the libraries' own dependencies in a private prefix as well.
    # Qt 6 wants position-independent executables.
    # shellcheck disable=SC2046
    g++ -std=c++17 -fPIC -o "$dir/consumer" "$src/host.cpp" \
        $(pkg-config --cflags --libs "KvCamVideo$suffix" "kvimui$suffix" "Qt${qt}Widgets") >"$work/build-$way.log" 2>&1 ||
      { cat "$work/build-$way.log"; echo "run-consumer: $way: the compiler line failed" >&2; status=1; continue; }
  else
    opt=OFF
    [ $way = pkg-config ] && opt=ON
    # The tree's own build settings must not leak into the outside project.
    env -u CMAKE_PREFIX_PATH cmake -S "$src" -B "$dir" -DCMAKE_PREFIX_PATH="$prefix" \
        -DUSE_PKGCONFIG=$opt -DKV_QT_MAJOR=$qt -DCMAKE_BUILD_TYPE=Release >"$work/configure-$way.log" 2>&1 ||
      { cat "$work/configure-$way.log"; status=1; continue; }
    cmake --build "$dir" >"$work/build-$way.log" 2>&1 || { cat "$work/build-$way.log"; status=1; continue; }
  fi
  # It must bind to the installed libraries, not to the build tree's.
  resolved=$(LD_LIBRARY_PATH=$lib ldd "$dir/consumer" | grep -E "lib(KvCamVideo$suffix|kvimui$suffix|vidshow)\.so|libQt[56]Core")
  echo "$resolved"
  # And to the Qt it was built for.
  if grep -q "libQt$((11 - qt))Core" <<<"$resolved"; then
    echo "run-consumer: $way: the Qt $qt host loads the other Qt" >&2
    status=1
    continue
  fi
  if grep -v -F "$prefix/" <<<"$resolved" | grep -v libQt; then
    echo "run-consumer: $way: a library resolves outside $prefix" >&2
    status=1
    continue
  fi
  out=$(LD_LIBRARY_PATH=$lib "$dir/consumer" 2>"$work/run-$way.err") || true
  echo "$out"
  if ! grep -q '^consumer: ok$' <<<"$out" ||
     ! grep -q '^consumer: format MJPG 320x240 30 fps' <<<"$out"; then
    tail -n 20 "$work/run-$way.err" >&2
    echo "run-consumer: $way: the consumer failed" >&2
    status=1
  fi
done
exit $status
