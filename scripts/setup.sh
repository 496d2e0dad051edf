#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when any is missing.
set -euo pipefail
pkgs=(cmake ninja-build g++ qt6-base-dev libqcustomplot-dev libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth openbox fonts-dejavu-core clang libclang-rt-14-dev clang-format-14)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}" >/dev/null
  else
    echo "Missing packages. Please run:"
    echo "  sudo apt-get install -y ${missing[*]}"
    exit 1
  fi
fi
