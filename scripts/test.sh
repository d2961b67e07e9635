#!/usr/bin/env bash
# Builds the project and runs the whole test suite twice: a plain build and a
# build under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)

build() { # build <dir> <extra cmake args...>
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

build build
(cd build && ctest -j "$jobs" --output-on-failure --timeout 300)

build build-asan -DKORVANE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest -j "$jobs" --output-on-failure --timeout 600)
