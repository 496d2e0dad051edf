#!/usr/bin/env bash
# Installs what is missing, builds the program and what it opens (the example
# project, the constituent database, the manuals) and starts Kelvo with the
# given file (or the example project). The tests are built by scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build --target kelvo_program
exec ./build/src/app/kelvo "$@"
