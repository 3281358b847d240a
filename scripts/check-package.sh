#!/usr/bin/env bash
# Installs a kvd62-capture .deb with apt (which brings the dependencies it
# declares), checks that it holds the menu entry, the icons, the manual pages
# and the AppStream metadata, and starts the program from its menu entry under
# Xvfb until its window is up. Then, with the tools for it installed, checks
# the installed files: the menu entry (desktop-file-validate), the metadata
# (appstreamcli validate --no-net), and that `man` shows every option --help
# lists, for both programs. Run as root.
# Usage: scripts/check-package.sh PATH/TO/kvd62-capture_VERSION_ARCH.deb
set -euo pipefail
deb=$(realpath "${1:?usage: scripts/check-package.sh DEB}")
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
dpkg -s kvd62-capture | grep -E '^(Version|Depends):'

listed=$(dpkg -L kvd62-capture)
for file in /usr/bin/kvd62-capture /usr/bin/kvd62-simulator \
    /usr/share/applications/kvd62-capture.desktop \
    /usr/share/icons/hicolor/scalable/apps/kvd62-capture.svg \
    /usr/share/icons/hicolor/48x48/apps/kvd62-capture.png \
    /usr/share/metainfo/org.example.kvd62_capture.metainfo.xml \
    /usr/share/man/man1/kvd62-capture.1.gz /usr/share/man/man1/kvd62-simulator.1.gz \
    /usr/share/doc/kvd62-capture/copyright; do
    grep -qx "$file" <<<"$listed" || { echo "check-package: $file is not in the package" >&2; exit 1; }
done

# The menu entry's command, as a desktop would run it (field codes dropped).
command=$(sed -n 's/^Exec=//p' /usr/share/applications/kvd62-capture.desktop | sed 's/ %[fFuU]//g')
apt-get install -y -qq --no-install-recommends xvfb xauth xdotool >/dev/null
xvfb-run -a sh -c "$command & program=\$!
    timeout 20 xdotool search --sync --name '^KVD62 screen capture' >/dev/null; up=\$?
    kill \$program; exit \$up" ||
    { echo "check-package: '$command' did not bring up its window" >&2; exit 1; }
/usr/bin/kvd62-capture --version

# The installed files, checked by the tools made for them (installed after the
# start, so that the start had only what the package itself brings).
apt-get install -y -qq --no-install-recommends desktop-file-utils appstream man-db >/dev/null
desktop-file-validate /usr/share/applications/kvd62-capture.desktop
appstreamcli validate --no-net /usr/share/metainfo/org.example.kvd62_capture.metainfo.xml
for program in kvd62-capture kvd62-simulator; do
    page=$(MANWIDTH=200 man "$program" 2>/dev/null | col -b)
    missing=$("$program" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u |
        while read -r option; do grep -qF -- "$option" <<<"$page" || echo "$option"; done)
    if [ -z "$page" ] || [ -n "$missing" ]; then
        echo "check-package: man $program does not show:" "$missing" >&2
        exit 1
    fi
done
echo "check-package: installed; '$command' from the menu entry brought up its window;" \
    "menu entry and metadata valid; man shows every option of both programs"
