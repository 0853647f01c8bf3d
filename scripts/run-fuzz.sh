#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/ and runs each for a bounded number of runs.
#   scripts/run-fuzz.sh [runs] [build-dir]
# runs: inputs per target (default 200000; the camera-list target, which builds a
# graph per input, a quarter of it, the chat target a hundredth: a few
# minutes in all on two cores);
# scripts/run-fuzz.sh 2000000 is a long run. New inputs the fuzzer finds go to
# <build-dir>/corpus/<target>/, crashes to <build-dir>/artifacts/; the seed
# corpus in tests/fuzz/corpus/ is only read.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-200000}
dir=${2:-$root/build-fuzz}

cmake -S "$root" -B "$dir" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_SANITIZE=ON -DKV_BUILD_FUZZ=ON -DKV_WERROR=ON \
  -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=OFF \
  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link

# target, seed folder, largest input, share of the runs (the chat target lays out and
# paints a widget per input: some 50 inputs a second against thousands for the others)
targets=(
  "fuzz_convert_mjpg sample 16384 1"
  "fuzz_convert_yuy2 sample 16384 1"
  "fuzz_convert_rgb24 sample 16384 1"
  "fuzz_convert_nv12 sample 16384 1"
  "fuzz_convert_i420 sample 16384 1"
  "fuzz_camera_config config 4096 4"
  "fuzz_chat_records chat 4096 100"
)
names=()
for t in "${targets[@]}"; do names+=("${t%% *}"); done
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" --target "${names[@]}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
# The targets fuzz the configuration and the samples, not a machine's cameras:
# no V4L2 nodes, and the PipeWire provider on but finding no daemon, as on a
# desktop without one (every listing asks again).
export KV_PIPEWIRE=1 KV_CAMERA_PORTAL=0 PIPEWIRE_REMOTE=/nonexistent
mkdir -p "$dir/artifacts"
for t in "${targets[@]}"; do
  read -r name seeds maxlen share <<<"$t"
  mkdir -p "$dir/corpus/$name"
  n=$((runs / share > 0 ? runs / share : 1))
  echo "run-fuzz: $name, $n runs"
  start=$(date +%s)
  "$dir/bin/$name" -runs="$n" -max_len="$maxlen" -timeout=10 -rss_limit_mb=3072 \
    -artifact_prefix="$dir/artifacts/$name-" -print_final_stats=1 \
    "$dir/corpus/$name" "$root/tests/fuzz/corpus/$seeds" 2>"$dir/$name.log" ||
    { tail -n 60 "$dir/$name.log"; echo "run-fuzz: $name failed" >&2; exit 1; }
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$dir/$name.log" || true
  echo "run-fuzz: $name done in $(($(date +%s) - start)) s"
done
