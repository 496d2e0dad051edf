#!/usr/bin/env bash
# Installs what is missing, builds, and starts Kelvo with the given file (or the example project).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build
exec ./build/src/app/kelvo "$@"
