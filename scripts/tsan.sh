#!/usr/bin/env bash
# Builds the threaded engine tests with ThreadSanitizer (into build-tsan/) and
# runs them: the node-chunk threads, the parallel equilibrium and the
# trajectory fingerprints with several threads, the step's checks over threads and the
# nodes solved side by side, a run whose threads change as it goes, and the
# speciation kept outside the window by the chunks of several threads.
set -euo pipefail
cd "$(dirname "$0")/.."
tests=(test_engine_node_threads_test test_engine_parallel_equilibrium_test test_engine_fingerprint_test
       test_engine_step_checks_test test_engine_node_lanes_test test_engine_thread_tuner_test
       test_engine_outside_nodes_test)
if [ ! -f build-tsan/build.ninja ]; then
  cmake -S . -B build-tsan -G Ninja -DKELVO_TSAN=ON -DKELVO_WERROR=ON -DKELVO_GUI=OFF -DKELVO_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build-tsan -j "$(nproc)" --target "${tests[@]}"
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
for t in "${tests[@]}"; do
  ./build-tsan/tests/"$t"
done
