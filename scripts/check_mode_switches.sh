#!/usr/bin/env bash
# Fails when an engine file outside the modes reads a mode's window switch:
# the integrator, the equilibrium, Init and the services ask the mode table
# (engine/modes/modes.h) instead, so that a new mode never edits them. Allowed:
# src/engine/modes/, which holds the table's selection (modes.cpp) and one
# folder per mode.
set -euo pipefail
cd "$(dirname "$0")/.."
switches='\b(cbH|cbSDS|cbComplex|cbChrom|cbLiBz|cbSpec|cbRacemic|cbMX)\b'
hits=$(find src/engine -path src/engine/modes -prune -o -type f \( -name '*.cpp' -o -name '*.inc' \) \
         -print0 |
       xargs -0 -r grep -nE "$switches" | grep -vE '^[^:]+:[0-9]+:[[:space:]]*//' || true)
if [ -n "$hits" ]; then
  echo "$hits"
  echo "mode switch check failed: the engine core reads a mode's switch; give the mode a hook or property in engine/modes/modes.h"
  exit 1
fi
echo "mode switch check passed"
