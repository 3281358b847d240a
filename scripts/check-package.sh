#!/usr/bin/env bash
# Installs a kvd62-capture .deb with apt (which brings the dependencies it
# declares), checks that it holds the menu entry and the icons, and starts the
# program from its menu entry under Xvfb until its window is up. Run as root.
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
    /usr/share/icons/hicolor/48x48/apps/kvd62-capture.png; do
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
echo "check-package: installed; '$command' from the menu entry brought up its window"
