#!/bin/sh
# Makes (once per machine) a Debian 12 arm64 root with Java 17 for running the
# aarch64 library in a real arm64 JVM under qemu-user, and prints its path.
# Installing the arm64 JRE beside the host's packages fails on version skew
# (the host carries security updates the arm64 side lacks), so the JVM gets
# a root of its own, kept outside the source tree: VELLAMOOR_ARM64_ROOT, or
# /var/cache/vellamoor/arm64-bookworm. Needs root, debootstrap and
# qemu-aarch64 registered through binfmt_misc (scripts/install-deps.sh).
set -eu
root=${VELLAMOOR_ARM64_ROOT:-/var/cache/vellamoor/arm64-bookworm}
if [ -x "$root/usr/lib/jvm/java-17-openjdk-arm64/bin/java" ] && [ -f "$root/.complete" ]; then
    echo "$root"
    exit 0
fi
rm -rf "$root"
mkdir -p "$(dirname "$root")"
log=$(dirname "$root")/arm64-root.log
{
    debootstrap --arch=arm64 --foreign --variant=minbase bookworm "$root" http://deb.debian.org/debian
    chroot "$root" /debootstrap/debootstrap --second-stage
    mount -t proc proc "$root/proc"
    trap 'umount "$root/proc"' EXIT
    chroot "$root" apt-get install -y --no-install-recommends openjdk-17-jre-headless
    umount "$root/proc"
    trap - EXIT
    touch "$root/.complete"
} >"$log" 2>&1 || { tail -30 "$log" >&2; exit 1; }
echo "$root"
