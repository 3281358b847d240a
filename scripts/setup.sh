#!/usr/bin/env bash
# Installs the Debian packages the build needs, when any is missing, and
# configures and builds the program. Usage: scripts/setup.sh [BUILD_DIR [CMAKE_ARGS...]]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
shift || true

packages=(cmake ninja-build g++ qt6-base-dev qt6-serialport-dev qt6-qpa-plugins libgl-dev
          fonts-dejavu-core poppler-utils help2man)
[[ " $* " == *" -DKVD_BUILD_BENCH=ON "* ]] && packages+=(libbenchmark-dev libx11-dev xvfb xauth strace img2pdf)
[[ " $* " == *" -DKVD_FUZZ=ON "* ]] && packages+=(clang libclang-rt-14-dev)
# What the real-window tests drive the program with (scripts/test.sh asks for it).
[ -n "${KVD_TEST_TOOLS:-}" ] && packages+=(xvfb xauth xdotool xclip python3-xlib)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Configure on the first run, and again whenever options are given; options not
# given keep the values the build folder already has.
if [ ! -f "$build/build.ninja" ] || [ $# -gt 0 ]; then
    cmake -S . -B "$build" -G Ninja "$@"
fi
cmake --build "$build"
