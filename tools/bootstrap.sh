#!/bin/sh
# Installs the Debian 12 packages that the builds, the tests and the demo need.
# As root it installs what is missing; otherwise it prints the command and stops.
set -e

packages="python3 cmake make ninja-build g++ clang libclang-rt-14-dev zlib1g-dev googletest
g++-mingw-w64-i686-posix libz-mingw-w64-dev
wine wine32:i386 xvfb x11-apps x11-utils imagemagick netpbm xdotool"

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
    echo "quillfen: missing packages:$missing" >&2
    echo "run as root:" >&2
    [ "$need_i386" = yes ] && echo "  dpkg --add-architecture i386" >&2
    echo "  apt-get update && apt-get install -y --no-install-recommends$missing" >&2
    exit 1
fi

[ "$need_i386" = yes ] && dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing
