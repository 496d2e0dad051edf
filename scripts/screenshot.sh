#!/usr/bin/env bash
# Picture of the main window after a short run of the example project, taken
# under a virtual X server: docs/screenshot.png (or the path given).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshot.png}
bash scripts/setup.sh
bash scripts/build.sh build
mkdir -p "$(dirname "$out")"
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
# The instance marker and the temporary sequence go to a throw-away program directory.
KELVO_HOME="$home" xvfb-run -a -s "-screen 0 1400x1000x24" ./build/src/app/kelvo_screenshot "$out" 20
echo "written: $out"
