#!/usr/bin/env bash
# Checks a built kvd62-capture package against Debian's own rules: lintian on
# the .changes file and the packages it lists (no error, no warning; the info
# lines are printed), and hardening-check on both programs. Installs lintian and
# devscripts when missing.
# Usage: scripts/lint-package.sh PATH/TO/kvd62-capture_VERSION_ARCH.changes
set -euo pipefail
changes=$(realpath "${1:?usage: scripts/lint-package.sh CHANGES}")
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
missing=()
for p in lintian devscripts; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

echo "lint-package: lintian $(lintian --version | awk '{print $2}') on $(basename "$changes")"
lintian --info --display-info --fail-on error,warning "$changes"

# The programs as the package holds them.
files=$(mktemp -d)
trap 'rm -rf "$files"' EXIT
deb=$(grep -o 'kvd62-capture_[^ ]*\.deb' "$changes" | head -n 1)
dpkg-deb -x "$(dirname "$changes")/$deb" "$files"

# Control-flow protection (CET) shows in a program only when every object linked
# into it carries it. Where the C library's own start file does not (Debian 12's
# Scrt1.o), no program linked on that system can: the check is skipped there,
# and said so. Debian 13's carries it.
skip=()
if ! readelf -n "$(gcc -print-file-name=Scrt1.o)" | grep -q 'x86 feature: IBT, SHSTK' &&
    [ "$(dpkg-architecture -qDEB_HOST_ARCH)" = amd64 ]; then
    echo "lint-package: this system's Scrt1.o has no CET marking; control flow protection not checked"
    skip=(--nocfprotection)
fi
hardening-check "${skip[@]}" "$files/usr/bin/kvd62-capture"
# The simulator's few libc calls (memcpy, memset, poll) are on std::string's
# buffers, whose size the compiler cannot know, or on one poll descriptor it
# checks when building, so no fortified variant is ever called: lintian says
# so only as information (hardening-no-fortify-functions). Fortify is not
# asked of it; every other check is.
hardening-check "${skip[@]}" --nofortify "$files/usr/bin/kvd62-simulator"
echo "lint-package: lintian found no error and no warning; both programs are hardened"
