#!/bin/sh
# Proves that the README's first lines get a new user from nothing to a
# running demo and a passing test run: a minimal Debian 12 (mmdebstrap
# --variant=minbase, from this machine's apt sources) in a temporary folder,
# the committed state of this repository cloned into it as /root/quillfen,
# and there, as root, every line of the README's first shell block but its
# `git clone` (the clone is made from here instead). Takes several minutes
# and about 3 GB; not part of `make test`.
#   tools/fresh-check.sh [--keep]     --keep: leave the root folder behind
# Needs root (chroot, mounts). Installs mmdebstrap on this machine if missing.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
keep=no
[ "${1:-}" = --keep ] && keep=yes
if [ "$(id -u)" != 0 ]; then
    echo "fresh-check: needs root (it makes a chroot and mounts /proc, /sys and /dev in it)" >&2
    exit 2
fi
if ! command -v mmdebstrap >/dev/null 2>&1; then
    echo "fresh-check: installing mmdebstrap on this machine (apt-get install mmdebstrap)"
    apt-get install -y -qq --no-install-recommends mmdebstrap >/dev/null
fi

started=$(date +%s)
work=$(mktemp -d /var/tmp/quillfen-fresh-check.XXXXXX)
root=$work/root
mounts="proc sys dev dev/pts dev/shm"

# Ends whatever still runs inside the root (Wine's server, an X server),
# unmounts in reverse order and removes the folder.
cleanup() {
    status=$?
    for link in /proc/[0-9]*/root; do
        if [ "$(readlink "$link" 2>/dev/null)" = "$root" ]; then
            pid=${link#/proc/}
            kill -9 "${pid%/root}" 2>/dev/null || true
        fi
    done
    for m in $(echo "$mounts" | tr ' ' '\n' | sed '1!G;h;$!d'); do
        if mountpoint -q "$root/$m"; then umount "$root/$m" || umount -l "$root/$m"; fi
    done
    if [ "$keep" = yes ]; then
        echo "fresh-check: root kept in $root"
    else
        rm -rf "$work"
    fi
    echo "fresh-check: $([ $status = 0 ] && echo passed || echo FAILED) in $(($(date +%s) - started)) s"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "fresh-check: minimal Debian 12 in $root"
mmdebstrap --quiet --variant=minbase bookworm "$root" /etc/apt/sources.list.d/debian.sources
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"

echo "fresh-check: cloning $repo ($(git -C "$repo" rev-parse --short HEAD)) to /root/quillfen"
git clone -q "$repo" "$root/root/quillfen"
# The README's first shell block, without its clone line and comments.
awk '/^```sh$/ { inside = 1; next } /^```$/ { if (inside) exit } inside' "$repo/README.md" |
    grep -v '^git clone' | sed 's/ *#.*//' | grep -v '^$' >"$root/root/readme-lines.sh"
[ -s "$root/root/readme-lines.sh" ] || { echo "fresh-check: no shell block in README.md" >&2; exit 1; }
echo "fresh-check: running the README's lines as root in the new system:"
sed 's/^/    /' "$root/root/readme-lines.sh"
chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/sh -exc 'cd /root; . /root/readme-lines.sh'
