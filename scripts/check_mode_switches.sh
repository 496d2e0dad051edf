#!/usr/bin/env bash
# Fails when an engine file outside the modes reads a mode's window switch:
# the integrator, the equilibrium, Init and the services ask the mode table
# (engine/modes.h) instead, so that a new mode never edits them. Allowed: the
# table's selection (modes.cpp) and the modes' own files (*_mode.cpp, the
# complexation files complex_*.cpp, the capillary-effects table, anything in a
# modes/ folder).
set -euo pipefail
cd "$(dirname "$0")/.."
switches='\b(cbH|cbSDS|cbComplex|cbChrom|cbLiBz|cbSpec|cbRacemic|cbMX)\b'
hits=$(find src/engine -type f \( -name '*.cpp' -o -name '*.inc' \) \
         ! -name 'modes.cpp' ! -name '*_mode.cpp' ! -name 'complex_*.cpp' ! -name 'effects_table.cpp' \
         ! -path '*/modes/*' -print0 |
       xargs -0 -r grep -nE "$switches" | grep -vE '^[^:]+:[0-9]+:[[:space:]]*//' || true)
if [ -n "$hits" ]; then
  echo "$hits"
  echo "mode switch check failed: the engine core reads a mode's switch; give the mode a hook or property in engine/modes.h"
  exit 1
fi
echo "mode switch check passed"
