#!/usr/bin/env bash
# Fails when a library below the windows includes Qt or window code: the
# foundation, engine, file formats, composition and tool computations build
# and are tested without a display.
set -euo pipefail
cd "$(dirname "$0")/.."
bad=0
for dir in src/foundation src/engine src/files src/composition src/tools; do
  [ -d "$dir" ] || continue
  hits=$(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](Q[A-Za-z]*|qcustomplot\.h|app/[^">]*)[">]' "$dir" \
           --include='*.h' --include='*.cpp' || true)
  if [ -n "$hits" ]; then
    echo "$hits"
    bad=1
  fi
done
# The libraries below the windows must not link Qt either.
if grep -nE 'Qt6::|QCustomPlot' src/CMakeLists.txt; then bad=1; fi
if [ "$bad" -ne 0 ]; then
  echo "layering check failed: only src/app may use Qt or include window code"
  exit 1
fi
echo "layering check passed"
