#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test headless.
# scripts/test.sh          the normal build, in build/
# scripts/test.sh sanitize the address and undefined-behaviour sanitizer build, in build-sanitize/
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "sanitize" ]; then
    scripts/setup.sh build-sanitize -DKVD_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
    dir=build-sanitize
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
    scripts/setup.sh build
    dir=build
fi
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$dir" --output-on-failure
