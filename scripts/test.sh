#!/bin/sh
# Configures, builds and runs the whole test suite.
# Usage: scripts/test.sh [build folder] [Release|Debug]
# A Debug build is checked with AddressSanitizer and UndefinedBehaviorSanitizer, and a warning in
# our own code fails it.
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
type="${2:-Release}"
checked=OFF
[ "$type" = Debug ] && checked=ON
export CCACHE_SLOPPINESS=time_macros
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE="$type" -DVYRPM_BUILD_TESTS=ON \
    -DVYRPM_SANITIZE="$checked" -DVYRPM_WARNINGS_AS_ERRORS="$checked"
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
