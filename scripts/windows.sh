#!/usr/bin/env bash
# Builds the Windows program, its tests and its installer on this Debian
# machine, runs the tests under Wine, and tries the installer there.
#   scripts/windows.sh            everything, in build-windows/; the installers are
#                                 build-windows/kvd62-capture-VERSION-win64.exe (NSIS)
#                                 and build-windows/kvd62-capture-VERSION-win64.msi
#   scripts/windows.sh build      only the build and the installers, no Wine
# Qt for Windows is built once per machine from Debian's own source of the
# host's Qt version, and kept in ~/.cache/kvd62-capture (KVD_QT_CACHE to move
# it). KVD_QT_SEED=FILE.tar.xz fills that cache from a copy of exactly that
# build instead (checked by its SHA-256), which saves about 40 minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
mode=${1:-all}
build=build-windows
step() { printf '\n=== windows: %s (%ds)\n' "$1" "$SECONDS"; }

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
install_missing() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

step "the tools"
# The host's Qt tools (moc, rcc, uic) serve the Windows build too.
install_missing cmake ninja-build g++ g++-mingw-w64-x86-64-posix qt6-base-dev \
    qt6-base-dev-tools nsis xz-utils msitools wixl
[ "$mode" = build ] || install_missing wine64 wine xvfb xauth xdotool python3-xlib

# --- Qt for Windows ----------------------------------------------------------
qt_version=6.4.2
# The seed is exactly this build: the same version, options and source.
seed_sha256=1209306e8a8e0f3f2c282273a8630defdc3dfb367dc4c2992f662e21e384012e
qt_options=(
    -DCMAKE_BUILD_TYPE=Release -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    -DFEATURE_opengl=OFF -DFEATURE_dbus=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF
    -DFEATURE_icu=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_tabletevent=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
    -DFEATURE_system_pcre2=OFF -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF
)
key=$(printf '%s\n' "$qt_version" "${qt_options[@]}" | sha256sum | cut -c1-12)
cache=${KVD_QT_CACHE:-$HOME/.cache/kvd62-capture}
qt=$cache/qt-$qt_version-mingw-$key

host_qt=$(dpkg-query -W -f='${Version}' qt6-base-dev)
case "$host_qt" in
"$qt_version"*) ;;
*)
    echo "windows: the host's Qt is $host_qt; the Windows Qt must be the same version," \
        "$qt_version, for the host's tools to serve it" >&2
    exit 1
    ;;
esac

# This machine's apt sources, each turned into a source-package entry, in an
# apt setup of its own: the system's configuration is left as it is.
source_entries() {
    local file
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] && sed -nE 's/^deb[[:space:]]+/deb-src /p' "$file"
    done
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] && { sed -E 's/^Types:.*/Types: deb-src/' "$file"; echo; }
    done
    return 0
}

# Debian's source of the host's Qt, built for Windows with the options above.
# Two things in that source need care: there is no wintab (hence no tablet
# events), and with OpenGL off the Windows platform plugin's isSoftwareGl()
# still reaches for an OpenGL context under QT_CONFIG(dynamicgl) alone.
build_qt_from_source() {
    install_missing dpkg-dev
    local work
    work=$(mktemp -d "$cache/qt-source.XXXXXX")
    mkdir -p "$work/apt/lists/partial" "$work/apt/sources.list.d"
    source_entries >"$work/apt/sources.list.d/source.sources.tmp"
    # One-line and deb822 entries cannot share a file.
    grep '^deb-src ' "$work/apt/sources.list.d/source.sources.tmp" >"$work/apt/sources.list" || true
    grep -v '^deb-src ' "$work/apt/sources.list.d/source.sources.tmp" \
        >"$work/apt/sources.list.d/source.sources" || true
    rm "$work/apt/sources.list.d/source.sources.tmp"
    local apt=(-o "Dir::Etc::SourceList=$work/apt/sources.list"
        -o "Dir::Etc::SourceParts=$work/apt/sources.list.d"
        -o "Dir::State::Lists=$work/apt/lists")
    apt-get "${apt[@]}" update -qq
    (cd "$work" && apt-get "${apt[@]}" source -qq "qt6-base=$host_qt")
    local source
    source=$(find "$work" -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
    sed -i '/^static inline bool isSoftwareGl()/,/^}/ s/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' \
        "$source/src/plugins/platforms/windows/qwindowswindow.cpp"
    cmake -S "$source" -B "$work/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64.cmake" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DCMAKE_INSTALL_PREFIX="$qt.part" "${qt_options[@]}"
    cmake --build "$work/build"
    cmake --install "$work/build"
    mv "$qt.part" "$qt"
    rm -rf "$work"
}

seed_cache() {
    local seed=$1
    echo "$seed_sha256  $seed" | sha256sum -c --quiet ||
        { echo "windows: $seed is not the Qt build this script makes" >&2; exit 1; }
    rm -rf "$qt.part"
    mkdir -p "$qt.part"
    tar -xJf "$seed" -C "$qt.part" --strip-components=1
    mv "$qt.part" "$qt"
}

step "Qt $qt_version for Windows"
mkdir -p "$cache"
if [ -f "$qt/lib/cmake/Qt6/Qt6Config.cmake" ]; then
    echo "cached in $qt"
elif [ -n "${KVD_QT_SEED:-}" ]; then
    echo "from the seed $KVD_QT_SEED"
    seed_cache "$KVD_QT_SEED"
else
    echo "built from Debian's source (about 40 minutes on 2 cores)"
    rm -rf "$qt.part"
    build_qt_from_source
fi

# --- the program ---------------------------------------------------------------
step "the build"
if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64.cmake" \
        -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DCMAKE_BUILD_TYPE=Release -DKVD_WERROR=ON
fi
cmake --build "$build"

step "what Wine would forgive"
# Wine accepts what Windows refuses, so these are read off the programs
# themselves. Windows' msvcrt.dll has no "x" mode for _wfopen: every file must
# be created through CreateFileW (platform/NewFile.h), so no program imports the
# C runtime's file functions. And a Command Prompt waits only for a console
# program: kvd62-capture.com must be one, kvd62-capture.exe a windowed one.
for program in "$build"/app/kvd62-capture.exe "$build"/app/kvd62-capture.com \
    "$build"/app/launchers/kvd62-capture.exe "$build"/app/launchers/kvd62-capture.com; do
    headers=$(x86_64-w64-mingw32-objdump -p "$program")
    if grep -qE '^\s+[0-9a-f]+\s+[0-9]+\s+(_w?fopen|_w?open|_wsopen|_w?rename|fopen_s|_wfopen_s)$' \
        <<<"$headers"; then
        echo "windows: $program imports a C-runtime file function; create files through NewFile" >&2
        exit 1
    fi
    case "$program" in
    *.com) subsystem="Windows CUI" ;;
    *) subsystem="Windows GUI" ;;
    esac
    grep -q "Subsystem.*$subsystem" <<<"$headers" ||
        { echo "windows: $program is not a $subsystem program" >&2; exit 1; }
    # Wine knows no MAX_PATH limit; Windows lifts it only for a program whose
    # manifest (app/kvd62-capture.manifest, resource type 24) says longPathAware.
    if ! grep -qE '^[0-9a-f]{3}   Entry: ID: 0x000018,' <<<"$headers" ||
        ! grep -qa '<longPathAware[^>]*>true</longPathAware>' "$program"; then
        echo "windows: $program has no manifest saying longPathAware" >&2
        exit 1
    fi
    # Explorer's Properties, AppLocker's file rules and virus scanners read the
    # version resource (type 16).
    if ! grep -qE '^[0-9a-f]{3}   Entry: ID: 0x000010,' <<<"$headers" ||
        ! grep -qaP 'P\x00r\x00o\x00d\x00u\x00c\x00t\x00V\x00e\x00r\x00s\x00i\x00o\x00n' "$program"; then
        echo "windows: $program has no version resource" >&2
        exit 1
    fi
done
# The launchers are on PATH: they must load no library but Windows' own.
for launcher in "$build"/app/launchers/kvd62-capture.exe "$build"/app/launchers/kvd62-capture.com; do
    if x86_64-w64-mingw32-objdump -p "$launcher" | grep -iE 'DLL Name: (lib|Qt)'; then
        echo "windows: $launcher loads a library that PATH would then have to find" >&2
        exit 1
    fi
done

step "the installers"
(cd "$build" && cpack)
installer=$(ls "$build"/kvd62-capture-*-win64.exe)
echo "made $installer"
cmake --build "$build" --target msi
msi=$(ls "$build"/kvd62-capture-*-win64.msi)
echo "made $msi"
# What a user sets reaches the elevated part of the install (Wine elevates
# nothing, so only its table shows it).
secure=$(msiinfo export "$msi" Property | tr -d '\r' | awk -F'\t' '$1 == "SecureCustomProperties" { print $2 }')
for property in ADDTOPATH INSTALLDIR; do
    [[ ";$secure;" == *";$property;"* ]] ||
        { echo "windows: $property is not among the MSI's SecureCustomProperties ($secure)" >&2; exit 1; }
done
[ "$mode" = build ] && exit 0

# --- under Wine --------------------------------------------------------------------
export WINEPREFIX=$repo/$build/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
step "a Wine prefix"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
fi

step "the tests under Wine"
xvfb-run -a -s '-screen 0 1280x1024x24' ctest --test-dir "$build" --output-on-failure

step "the installer under Wine"
program_files=$WINEPREFIX/drive_c/Program\ Files/kvd62-capture
wine "$installer" /S
wineserver -w
for file in bin/kvd62-capture.exe bin/kvd62-capture.com program/kvd62-capture.exe \
    program/kvd62-capture.com program/kvd62-simulator.exe program/platforms/qwindows.dll \
    program/imageformats/qjpeg.dll program/Qt-LGPL-3.txt LICENSE.txt Uninstall.exe; do
    [ -f "$program_files/$file" ] || { echo "windows: the installer did not install $file" >&2; exit 1; }
done
find "$WINEPREFIX/drive_c" -path '*Start Menu*' -name 'KVD62 screen capture.lnk' | grep -q . ||
    { echo "windows: the installer made no Start menu entry" >&2; exit 1; }

step "the installed program in a window, and screenshots through COM10"
# The instrument's end of the line is Linux's simulator on a pseudo-terminal.
simulator=$build/linux/kvd62-simulator
mkdir -p "$build/linux"
version=$(sed -nE 's/^project\(kvd62-capture VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
g++ -std=c++20 -O2 -I. -DKVD_VERSION="\"$version\"" -o "$simulator" tools/Simulator.cpp \
    tools/InstrumentLinePosix.cpp tools/PacedLine.cpp tools/ScreenBitmap.cpp tools/SimulatedScreen.cpp
# Wine lists each /dev/ttyS* as COM1, COM2 ... and cannot tell an adapter from
# the board's port; here those are UARTs that open, so start-up would settle on
# COM1. In a mount namespace of its own /dev/null stands over them (Wine still
# lists them, but they are no serial devices), as on a laptop whose one port is
# the adapter, so that the test sees start-up find COM10 by itself.
wineserver -k >/dev/null 2>&1 || true
unshare -m sh -c 'for tty in /dev/ttyS*; do [ -e "$tty" ] && mount --bind /dev/null "$tty"; done
    exec xvfb-run -a -s "-screen 0 1280x1024x24" /usr/bin/python3 tests/gui/wine_window_test.py \
        "$0" "$1" "$2"' "$program_files/program/kvd62-capture.exe" "$simulator" "$build/wine-window.png"
wineserver -k >/dev/null 2>&1 || true

step "the uninstaller under Wine"
wine "$program_files/Uninstall.exe" /S
wineserver -w
if [ -e "$program_files" ]; then
    echo "windows: the uninstaller left $program_files behind:" >&2
    find "$program_files" >&2
    exit 1
fi

# --- the Windows Installer package under Wine --------------------------------------
# Wine's msiexec stands in for Windows'. Wine has no administrator prompt, so the
# install for one user is held to what lets it do without: nothing goes where only
# an administrator may write (Program Files, the system's PATH). Wine's shortcut
# mirror (winemenubuilder) stays off: it would write into this machine's menus.
version=$(sed -nE 's/^project\(kvd62-capture VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
msi_windows=$(winepath -w "$repo/$msi")
user_dirs=$(wine cmd /c 'echo %LOCALAPPDATA%^|%APPDATA%' | tr -d '\r')
local_app_data=$(winepath -u "${user_dirs%%|*}")
user_menu=$(winepath -u "${user_dirs#*|}")/Microsoft/Windows/Start\ Menu/Programs
system_path_key='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
user_path_key='HKCU\Environment'
shortcut="KVD62 screen capture.lnk"

# msiexec_run ARGUMENTS...: runs Windows' command as IT would; fails on its failure.
msiexec_run() {
    local status=0
    WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d" wine msiexec "$@" || status=$?
    wineserver -w
    [ "$status" -eq 0 ] || { echo "windows: msiexec $* ended with $status" >&2; exit 1; }
}
# path_has KEY: whether the PATH in registry key KEY names the program's bin folder.
path_has() {
    wine reg query "$1" /v PATH 2>/dev/null | tr -d '\r' | grep -qiF 'kvd62-capture\bin'
}
# menu_entries: the program's Start menu entries, in any Start menu of the prefix.
menu_entries() {
    find "$WINEPREFIX/drive_c" -path '*/Start Menu/Programs/*' -name "$shortcut"
}
# msi_installed FOLDER: the files, one Start menu entry, only the two launchers
# in bin (the folder on PATH), and the installed program answering --version
# through the console launcher, with its exit status passed on.
msi_installed() {
    local folder=$1 file answer status=0
    for file in bin/kvd62-capture.exe bin/kvd62-capture.com program/kvd62-capture.exe \
        program/kvd62-capture.com program/kvd62-simulator.exe program/Qt6Core.dll \
        program/platforms/qwindows.dll program/imageformats/qjpeg.dll \
        program/Qt-LGPL-3.txt program/Qt-NOTICE.txt LICENSE.txt; do
        [ -f "$folder/$file" ] || { echo "windows: the MSI did not install $folder/$file" >&2; exit 1; }
    done
    [ "$(menu_entries | wc -l)" -eq 1 ] ||
        { echo "windows: the MSI made no Start menu entry, or more than one:" >&2; menu_entries >&2; exit 1; }
    [ "$(ls "$folder/bin")" = "$(printf 'kvd62-capture.com\nkvd62-capture.exe')" ] ||
        { echo "windows: the folder on PATH holds more than the launchers:" >&2; ls "$folder/bin" >&2; exit 1; }
    answer=$(wine "$folder/bin/kvd62-capture.com" --version | tr -d '\r')
    [ "$answer" = "kvd62-capture $version" ] ||
        { echo "windows: the installed program answered --version with '$answer'" >&2; exit 1; }
    wine "$folder/bin/kvd62-capture.com" --no-such-option >/dev/null 2>&1 || status=$?
    [ "$status" -eq 2 ] ||
        { echo "windows: through the launcher, a wrong option ended with $status, not 2" >&2; exit 1; }
}
# msi_removed FOLDER: nothing of the program left after msiexec /x.
msi_removed() {
    if [ -e "$1" ]; then
        echo "windows: uninstalling the MSI left $1 behind:" >&2
        find "$1" >&2
        exit 1
    fi
    ! menu_entries | grep . >&2 || { echo "windows: uninstalling the MSI left that Start menu entry" >&2; exit 1; }
    ! path_has "$system_path_key" && ! path_has "$user_path_key" ||
        { echo "windows: uninstalling the MSI left its folder on PATH" >&2; exit 1; }
}

step "the MSI under Wine: for all users, silently, with ADDTOPATH=1"
msiexec_run /i "$msi_windows" /qn ADDTOPATH=1
msi_installed "$program_files"
path_has "$system_path_key" || { echo "windows: ADDTOPATH=1 put nothing on the system's PATH" >&2; exit 1; }
! path_has "$user_path_key" || { echo "windows: an install for all users changed the user's PATH" >&2; exit 1; }
msiexec_run /x "$msi_windows" /qn
msi_removed "$program_files"
! wine reg query 'HKLM\Software\kvd62-capture' >/dev/null 2>&1 ||
    { echo "windows: uninstalling the MSI left HKLM\\Software\\kvd62-capture" >&2; exit 1; }

step "the MSI under Wine: for one user, silently, with ADDTOPATH=1"
# Windows Installer 5 takes MSIINSTALLPERUSER=1 (with the package's ALLUSERS=2)
# as "for this user only"; Wine's decides by ALLUSERS alone, hence ALLUSERS="" here
# (quoted: Wine's msiexec reads a bare ALLUSERS= as taking the next argument).
user_folder=$local_app_data/Programs/kvd62-capture
msiexec_run /i "$msi_windows" /qn MSIINSTALLPERUSER=1 'ALLUSERS=""' ADDTOPATH=1
msi_installed "$user_folder"
[ ! -e "$program_files" ] || { echo "windows: the install for one user wrote to $program_files" >&2; exit 1; }
path_has "$user_path_key" || { echo "windows: ADDTOPATH=1 put nothing on the user's PATH" >&2; exit 1; }
! path_has "$system_path_key" || { echo "windows: an install for one user changed the system's PATH" >&2; exit 1; }
# Windows remembers that the product is this user's; Wine needs ALLUSERS="" again.
msiexec_run /x "$msi_windows" /qn 'ALLUSERS=""'
msi_removed "$user_folder"
! wine reg query 'HKCU\Software\kvd62-capture' >/dev/null 2>&1 ||
    { echo "windows: uninstalling the MSI left HKCU\\Software\\kvd62-capture" >&2; exit 1; }
step "the MSI under Wine: upgrades keep one product, in its context, with its PATH choice"
# An older version, and a rebuild of this one (a ProductCode of its own, as every
# build has), made from the same install tree.
older_version=1.9
for made in "older:$older_version" "rebuilt:$version"; do
    cmake -DBUILD_DIR="$build" -DSOURCE_DIR="$repo" -DVERSION="${made#*:}" \
        -DOUTPUT="$repo/$build/msi-${made%%:*}/kvd62-capture-${made#*:}-win64.msi" \
        -P cmake/WindowsMsi.cmake >/dev/null
done
older=$(winepath -w "$repo/$build/msi-older/kvd62-capture-$older_version-win64.msi")
rebuilt=$(winepath -w "$repo/$build/msi-rebuilt/kvd62-capture-$version-win64.msi")
# products: how many products Windows Installer lists as this program, in any context.
products() {
    { wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s
      wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s; } 2>/dev/null |
        tr -d '\r' | grep -c 'DisplayName.*KVD62 screen capture' || true
}
# upgraded FOLDER KEY: one product, installed, its folder still on the PATH in KEY.
upgraded() {
    [ "$(products)" -eq 1 ] || { echo "windows: after an upgrade, $(products) products are installed" >&2; exit 1; }
    msi_installed "$1"
    path_has "$2" || { echo "windows: an upgrade took the folder off PATH" >&2; exit 1; }
}
for context in all one; do
    if [ "$context" = all ]; then
        folder=$program_files key=$system_path_key as=()
    else
        folder=$user_folder key=$user_path_key as=(MSIINSTALLPERUSER=1 'ALLUSERS=""')
    fi
    msiexec_run /i "$older" /qn "${as[@]}" ADDTOPATH=1
    msi_installed "$folder" # (the older package holds this build's program)
    msiexec_run /i "$msi_windows" /qn "${as[@]}"
    upgraded "$folder" "$key"
    msiexec_run /i "$rebuilt" /qn "${as[@]}"
    upgraded "$folder" "$key"
    # The other context is refused, not installed beside it.
    other=(MSIINSTALLPERUSER=1 'ALLUSERS=""')
    [ "$context" = one ] && other=()
    status=0
    WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d" wine msiexec /i "$msi_windows" /qn "${other[@]}" || status=$?
    wineserver -w
    [ "$status" -ne 0 ] && [ "$(products)" -eq 1 ] ||
        { echo "windows: an install for the other context went beside the one for $context (status $status)" >&2; exit 1; }
    msiexec_run /x "$rebuilt" /qn "${as[@]}"
    msi_removed "$folder"
    [ "$(products)" -eq 0 ] || { echo "windows: uninstalling left a product behind" >&2; exit 1; }
done
step "done"
