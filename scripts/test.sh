#!/usr/bin/env bash
# Sets up what is missing, builds with warnings as errors, and runs every test
# headless.
#   scripts/test.sh                   the normal build, in build/
#   scripts/test.sh sanitize          the address and undefined-behaviour sanitizer build,
#                                     in build-sanitize/
#   scripts/test.sh release           the Release build with the benchmarks, in build-release/
#   scripts/test.sh repeat N [REGEX]  the normal build's tests (or those matching REGEX)
#                                     N times in a row; reports every round that failed or hung
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen
export KVD_TEST_TOOLS=1

mode=${1:-normal}
case "$mode" in
sanitize)
    dir=build-sanitize
    scripts/setup.sh "$dir" -DKVD_WERROR=ON -DKVD_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    ;;
release)
    dir=build-release
    scripts/setup.sh "$dir" -DKVD_WERROR=ON -DKVD_BUILD_BENCH=ON -DCMAKE_BUILD_TYPE=Release
    ;;
normal | repeat)
    dir=build
    scripts/setup.sh "$dir" -DKVD_WERROR=ON
    ;;
*)
    echo "usage: scripts/test.sh [sanitize | release | repeat N [REGEX]]" >&2
    exit 2
    ;;
esac

if [ "$mode" != repeat ]; then
    exec ctest --test-dir "$dir" --output-on-failure
fi

rounds=${2:?usage: scripts/test.sh repeat N [REGEX]}
filter=${3:-.}
logs="$dir/repeat"
rm -rf "$logs"
mkdir -p "$logs"
bad=()
for round in $(seq 1 "$rounds"); do
    log="$logs/round-$round.log"
    if ctest --test-dir "$dir" --output-on-failure -R "$filter" >"$log" 2>&1; then
        rm -f "$log"
        continue
    fi
    # A watchdog or CTest timeout means it hung; anything else, it failed.
    if grep -qE 'Test function timed out|\*\*\*Timeout' "$log"; then how=hung; else how=failed; fi
    bad+=("round $round $how: $log")
    echo "round $round of $rounds $how; its log: $log"
done
echo "repeat: $rounds rounds of '$filter', $((rounds - ${#bad[@]})) clean, ${#bad[@]} failed or hung"
[ ${#bad[@]} -eq 0 ]
