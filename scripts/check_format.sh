#!/usr/bin/env bash
# Fails when a C++ source differs from the project's .clang-format. The version
# is pinned: another clang-format release formats some constructs differently.
set -euo pipefail
cd "$(dirname "$0")/.."
cf=clang-format-14
if ! command -v "$cf" >/dev/null; then
  echo "format check: $cf is missing (sudo apt-get install -y clang-format-14)"
  exit 1
fi
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.inc')
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! "$cf" --dry-run --Werror "${files[@]}" 2>"$log"; then
  grep -E '^[^ ].*: (error|warning):' "$log" | cut -d: -f1 | sort -u | sed 's/^/  /'
  echo "format check failed: run  git ls-files '*.cpp' '*.h' '*.inc' | xargs $cf -i"
  exit 1
fi
echo "format check passed"
