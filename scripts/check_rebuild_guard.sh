#!/usr/bin/env bash
# Fails when the file, tool or composition layer rebuilds the run past the
# guard of every rebuild: there New and Init are reached only through
# RunNewCommand and RunInitCommand (src/files/file_hooks.cpp), which ask the
# main window's guard (a run or an Init going, an initial-distribution preview
# shown) for its own run state. Allowed: file_hooks.h and .cpp themselves.
set -euo pipefail
cd "$(dirname "$0")/.."
calls='\b(InitCalc|NewStateHeadless|New1Click|bnInitClick)[[:space:]]*\(|(\.|->)[[:space:]]*NewCommand\b'
hits=""
while IFS= read -r -d '' f; do
  # A call in a comment is no call: the text after "//" is left out.
  found=$(sed 's://.*$::' "$f" | grep -nE "$calls" || true)
  if [ -n "$found" ]; then hits+="$(sed "s|^|$f:|" <<<"$found")"$'\n'; fi
done < <(find src/files src/tools src/composition -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.inc' \) \
           ! -path 'src/files/file_hooks.*' -print0)
if [ -n "$hits" ]; then
  echo "$hits"
  echo "rebuild guard check failed: the file, tool and composition layers reach New and Init only through RunNewCommand and RunInitCommand (files/file_hooks.h)"
  exit 1
fi
echo "rebuild guard check passed"
