#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# shellcheck disable=SC2086  # KELVO_CMAKE_ARGS holds several words
bash scripts/build.sh build ${KELVO_CMAKE_ARGS:-}
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j "$(nproc)"
