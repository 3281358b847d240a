#!/usr/bin/env bash
# Builds the Debian package of kvd62-capture (Release, without tests) in
# build-package/ and prints its path. Install it with: sudo apt install ./THAT.deb
set -euo pipefail
cd "$(dirname "$0")/.."
KVD_PACKAGE_TOOLS=1 scripts/setup.sh build-package -DCMAKE_BUILD_TYPE=Release -DKVD_BUILD_TESTS=OFF >&2
(cd build-package && cpack >&2)
ls "$PWD"/build-package/kvd62-capture_*.deb
