#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer and the sanitizers, in
# build-fuzz/, and runs each for SECONDS (60 unless given), as many at once as
# there are cores, on a scratch copy of its corpus in fuzz/corpus/. A crash, a
# leak or a broken invariant fails it; its input is kept in build-fuzz/artifacts/.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
CXX=clang++ CC=clang scripts/setup.sh build-fuzz -DKVD_FUZZ=ON -DKVD_BUILD_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVD_WERROR=ON
export QT_QPA_PLATFORM=offscreen
mkdir -p build-fuzz/artifacts

# One target on its scratch corpus; its log in build-fuzz/.
fuzz_one() {
    local target=$1 scratch status=0
    scratch=$(mktemp -d)
    build-fuzz/fuzz/fuzz_$target -max_total_time="$seconds" -max_len=16384 -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/ \
        "$scratch" "fuzz/corpus/$target" >"build-fuzz/fuzz_$target.log" 2>&1 || status=$?
    rm -rf "$scratch"
    return $status
}

# As many targets at once as there are cores, each for the whole time given.
targets=(receive picture port_selector command_line report_layout)
cores=$(nproc)
failed=0
for ((first = 0; first < ${#targets[@]}; first += cores)); do
    batch=("${targets[@]:first:cores}")
    pids=()
    for target in "${batch[@]}"; do
        echo "=== fuzz_$target for $seconds s"
        fuzz_one "$target" &
        pids+=($!)
    done
    for i in "${!batch[@]}"; do
        target=${batch[$i]}
        if wait "${pids[$i]}"; then
            grep -E '^stat::(number_of_executed_units|peak_rss_mb|new_units_added)' \
                "build-fuzz/fuzz_$target.log" | sed "s/^/fuzz_$target /" || true
        else
            echo "=== fuzz_$target failed:"
            tail -n 40 "build-fuzz/fuzz_$target.log"
            failed=1
        fi
    done
    [ "$failed" = 0 ] || exit 1
done
