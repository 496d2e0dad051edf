#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) into build-fuzz/,
# writes the seed corpus, replays it through every target, then fuzzes each
# target for a fixed time (FUZZ_SECONDS, default 20) from a fixed random seed
# (FUZZ_SEED, default 1), so that a run repeats the one before it on the same
# code; set another seed to explore further. A crash, leak, hang or sanitizer
# report fails the script; the input is left in build-fuzz/crashes/.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-fuzz
seconds=${FUZZ_SECONDS:-20}
seed=${FUZZ_SEED:-1}
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DKELVO_FUZZ=ON -DKELVO_GUI=OFF \
    -DKELVO_TESTS=OFF -DKELVO_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$dir" -j "$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
rm -rf "$dir/seeds" && mkdir -p "$dir/crashes"
"$dir/fuzz/make_seeds" "$dir/seeds"
for t in cmp cxt dbc det ini jnl opt psq sna text; do
  corpus="$dir/corpus/$t"
  mkdir -p "$corpus"
  log="$dir/fuzz_$t.log"
  echo "== $t: replaying $(ls "$dir/seeds/$t" | wc -l) seeds, then fuzzing ${seconds} s"
  if ! "$dir/fuzz/fuzz_$t" -runs=0 -artifact_prefix="$dir/crashes/$t-" "$dir/seeds/$t" >"$log" 2>&1 ||
     ! "$dir/fuzz/fuzz_$t" -seed="$seed" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
         -artifact_prefix="$dir/crashes/$t-" "$corpus" "$dir/seeds/$t" >>"$log" 2>&1; then
    tail -n 40 "$log"
    echo "fuzz target $t failed (input in $dir/crashes/)"
    exit 1
  fi
  tail -n 1 "$log"
done
