#!/usr/bin/env bash
# Builds the benchmarks optimised and runs them; each figure is printed beside
# its baseline as a ratio. Extra arguments go to kvbench (for example
# --benchmark_filter=YString).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=build/bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_CXX_COMPILER=clang++ -DKV_WERROR=ON -DKV_BUILD_TESTS=OFF -DKV_BUILD_FUZZ=OFF
cmake --build "$build" --target kvbench
"$build/bench/kvbench" "$@"
