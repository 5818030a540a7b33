#!/usr/bin/env bash
# Installs what is missing, makes a release build and runs kvtool on the
# bundled examples.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_CXX_COMPILER=clang++ -DKV_BUILD_TESTS=OFF -DKV_BUILD_FUZZ=OFF
cmake --build "$build" --target kvtool
exec examples/run-examples.sh "$build/tools/kvtool/kvtool"
