#!/usr/bin/env bash
# Builds the Debian package of kvd62-capture from debian/ with dpkg-buildpackage,
# in a copy of the source in build-package/src (so that the build leaves the
# clone as it was), and prints the .deb's path; the .changes file lies beside it.
# Installs what the build needs (debian/control's Build-Depends) when any is
# missing. The build runs the fast tests; DEB_BUILD_OPTIONS=nocheck skips them.
# Install the package with: sudo apt install ./THAT.deb
set -euo pipefail
cd "$(dirname "$0")/.."
out=$PWD/build-package

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
dpkg-query -W -f='${Status}' dpkg-dev 2>/dev/null | grep -q 'install ok installed' || {
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends dpkg-dev >&2
}
if ! dpkg-checkbuilddeps >/dev/null 2>&1; then
    echo "Installing the build dependencies of debian/control" >&2
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get build-dep -y -qq --no-install-recommends "$PWD" >&2
fi

rm -rf "$out"
mkdir -p "$out/src"
tar -c --exclude='./build*' --exclude=./.git . | tar -x -C "$out/src"
(cd "$out/src" && dpkg-buildpackage -b -us -uc -Jauto >&2)
ls "$out"/kvd62-capture_*.deb
