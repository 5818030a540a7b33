#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
# Safe to run again and again.
set -euo pipefail

packages=(
  cmake ninja-build pkg-config make dpkg-dev file
  g++ clang libclang-rt-14-dev
  qtbase5-dev libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev libfmt-dev
  libboost-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
