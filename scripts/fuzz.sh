#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer and the sanitizers, in
# build-fuzz/, and runs each for SECONDS (60 unless given) on a scratch copy of
# its corpus in fuzz/corpus/. A crash, a leak or a broken invariant fails it; its
# input is kept in build-fuzz/artifacts/. Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
CXX=clang++ CC=clang scripts/setup.sh build-fuzz -DKVD_FUZZ=ON -DKVD_BUILD_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVD_WERROR=ON
export QT_QPA_PLATFORM=offscreen
mkdir -p build-fuzz/artifacts
for target in receive picture port_selector command_line report_layout; do
    scratch=$(mktemp -d)
    echo "=== fuzz_$target for $seconds s"
    build-fuzz/fuzz/fuzz_$target -max_total_time="$seconds" -max_len=16384 -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/ \
        "$scratch" "fuzz/corpus/$target" >"build-fuzz/fuzz_$target.log" 2>&1 || {
        tail -n 40 "build-fuzz/fuzz_$target.log"
        rm -rf "$scratch"
        exit 1
    }
    grep -E '^stat::(number_of_executed_units|peak_rss_mb|new_units_added)' \
        "build-fuzz/fuzz_$target.log" || true
    rm -rf "$scratch"
done
