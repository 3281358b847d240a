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

# Two checks no program built here can pass, skipped with the reason said:
skip=()
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
# - control-flow protection (CET) shows in a program only when every object
#   linked into it carries it, and the C library's start files on Debian 12 and
#   13 do not: a one-line program linked here with -fcf-protection shows whether
#   this system can;
if [ "$arch" = amd64 ]; then
    probe=$(mktemp -d)
    printf 'int main(void) { return 0; }\n' >"$probe/probe.c"
    gcc -fcf-protection -o "$probe/probe" "$probe/probe.c"
    if ! readelf -n "$probe/probe" | grep -q 'x86 feature: IBT, SHSTK'; then
        echo "lint-package: no program linked here carries CET marking (the C library's" \
            "start files lack it): control-flow protection not checked"
        skip+=(--nocfprotection)
    fi
    rm -rf "$probe"
fi
# - branch protection (BTI, PAC) exists only on arm64, but Debian 13's
#   hardening-check asks it of every architecture.
if [ "$arch" != arm64 ] && grep -q -- nobranchprotection "$(command -v hardening-check)"; then
    echo "lint-package: branch protection is arm64's; not checked on $arch"
    skip+=(--nobranchprotection)
fi
hardening-check "${skip[@]}" "$files/usr/bin/kvd62-capture"
# The simulator's few libc calls (memcpy, memset, poll) are on std::string's
# buffers, whose size the compiler cannot know, or on one poll descriptor it
# checks when building, so no fortified variant is ever called: lintian says
# so only as information (hardening-no-fortify-functions). Fortify is not
# asked of it; every other check is.
hardening-check "${skip[@]}" --nofortify "$files/usr/bin/kvd62-simulator"
echo "lint-package: lintian found no error and no warning; both programs are hardened"
