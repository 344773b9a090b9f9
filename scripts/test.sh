#!/usr/bin/env bash
# Installs what is missing, builds everything with the sanitizers and runs the whole test suite,
# then builds Release and runs the unit and GL tests there too (optimised code shows faults the
# sanitizer build hides: reused addresses, uninitialised values the optimiser exploits).
# Extra arguments go to both ctest runs (e.g. -R GXMath).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/scripts/setup.sh"
# ccache keys on paths relative to the checkout, so a fresh clone in another folder reuses the
# cache of earlier builds on this machine.
export CCACHE_BASEDIR="$here" CCACHE_NOHASHDIR=true
build="$here/build/test"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELMORA_TESTS=ON -DVELMORA_SANITIZE=ON
cmake --build "$build"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
(cd "$build" && ctest --output-on-failure --timeout 600 -j "$(nproc)" "$@")

release="$here/build/test-release"
cmake -S "$here" -B "$release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=ON
cmake --build "$release"
cd "$release"
ctest --output-on-failure --timeout 600 -j "$(nproc)" -L '^(unit|gl)$' "$@"
