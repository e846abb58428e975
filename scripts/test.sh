#!/bin/sh
# Configures, builds and runs the whole test suite. Usage: scripts/test.sh [build folder]
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
export CCACHE_SLOPPINESS=time_macros
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVYRPM_BUILD_TESTS=ON
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
