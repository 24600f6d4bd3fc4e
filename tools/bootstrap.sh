#!/bin/sh
# Installs the Debian 12 packages that the builds, the tests and the demo need.
# Silent when everything is there. As root it says in one line what it is
# about to install and how much that is, then installs it (apt's own output
# goes to a log, shown only when apt fails); otherwise it prints the command
# to run as root and stops.
set -e

# googletest holds the sources that the Windows build compiles with MinGW;
# libgtest-dev and libgmock-dev hold the host build's libraries and CMake
# files. fonts-wine carries Marlett, which draws the caption buttons of the
# dialogs; it is only a recommendation of Wine, and recommendations are not
# installed here.
packages="python3 cmake make ninja-build g++ clang libclang-rt-14-dev zlib1g-dev
googletest libgtest-dev libgmock-dev
g++-mingw-w64-i686-posix libz-mingw-w64-dev
wine wine32:i386 fonts-wine xvfb x11-apps x11-utils imagemagick netpbm xdotool"

missing=""
for p in $packages; do
    if ! dpkg-query -W -f '${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
        missing="$missing $p"
    fi
done
# Without the i386 architecture wine32 cannot even be looked up.
need_i386=no
dpkg --print-foreign-architectures | grep -qx i386 || need_i386=yes

[ -z "$missing" ] && [ "$need_i386" = no ] && exit 0

if [ "$(id -u)" != 0 ]; then
    echo "quillfen: missing Debian packages:$missing" >&2
    echo "run as root:" >&2
    [ "$need_i386" = yes ] && echo "  dpkg --add-architecture i386" >&2
    echo "  apt-get update && apt-get install -y --no-install-recommends$missing" >&2
    exit 1
fi

log=${TMPDIR:-/tmp}/quillfen-setup.log
# Runs an apt command with its output in the log; on failure shows the end
# of the log and stops.
quietly() {
    if ! "$@" >>"$log" 2>&1; then
        echo "quillfen: '$*' failed; the end of $log:" >&2
        tail -n 20 "$log" >&2
        exit 1
    fi
}

export DEBIAN_FRONTEND=noninteractive LC_ALL=C
: >"$log"
[ "$need_i386" = yes ] && dpkg --add-architecture i386
quietly apt-get update
# apt's own reckoning, without installing anything: a simulated run names
# every package, and the download addresses come with their sizes.
# shellcheck disable=SC2086
count=$(apt-get install -s --no-install-recommends $missing | grep -c '^Inst ' || true)
# shellcheck disable=SC2086
bytes=$(apt-get install -qq --print-uris --no-install-recommends $missing |
        awk '{ sum += $3 } END { printf "%d", sum }')
echo "quillfen: installing$missing ($count packages with what they need, $((bytes / 1000000)) MB to download); log in $log"
start=$(date +%s)
# shellcheck disable=SC2086
quietly apt-get install -y --no-install-recommends $missing
echo "quillfen: packages installed in $(($(date +%s) - start)) s"
