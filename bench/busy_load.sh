#!/usr/bin/env bash
# Runs a command while every core is kept busy by a busy-looping process at the
# command's own priority, as a compile running beside the program would, and
# stops the loops when the command ends. The command's exit status is returned.
#
#   bench/busy_load.sh [-n LOOPS] COMMAND [ARG ...]
#
# LOOPS defaults to the number of cores (nproc).
set -euo pipefail
loops=$(nproc)
if [ "${1:-}" = "-n" ]; then
  loops=$2
  shift 2
fi
if [ $# -eq 0 ]; then
  echo "usage: $0 [-n LOOPS] COMMAND [ARG ...]" >&2
  exit 2
fi
pids=()
stop() {
  [ ${#pids[@]} -gt 0 ] && kill "${pids[@]}" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap stop EXIT INT TERM
for ((i = 0; i < loops; i++)); do
  bash -c 'while :; do :; done' &
  pids+=($!)
done
status=0
"$@" || status=$?
exit $status
