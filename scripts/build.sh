#!/usr/bin/env bash
# Configures and builds into the given folder (default build/). "--target NAME"
# (repeatable) builds only those targets; other extra arguments go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
targets=()
configure=()
while [ $# -gt 0 ]; do
  case "$1" in
    --target) targets+=(--target "$2"); shift 2 ;;
    *) configure+=("$1"); shift ;;
  esac
done
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja "${configure[@]}" >/dev/null
fi
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
