#!/bin/sh
# Installs everything the build, the tests and the demo need, from Debian's
# packages only. Run as root on a fresh Debian 12 machine.
set -eu

export DEBIAN_FRONTEND=noninteractive

# A mirror caught mid-sync fails one index ("File has unexpected size"), and
# apt-get update then exits non-zero although the other indexes are fresh.
# Try a few times; if one index stays stale, go on with what apt has: the
# installs below fail clearly if a package is really missing.
update_index() {
    for attempt in 1 2 3; do
        apt-get update && return 0
        sleep $((attempt * 5))
    done
    echo "install-deps: apt-get update kept failing; installing from the indexes apt has" >&2
}

# With one architecture's security index stale, the i386 and amd64 halves of
# a Multi-Arch library (zlib1g, say) have different candidate versions and
# the install cannot be solved. Taking every package from bookworm itself
# gives both halves the same version.
install_packages() {
    apt-get install -y "$@" && return 0
    echo "install-deps: retrying with the versions of bookworm itself" >&2
    apt-get install -y -t bookworm "$@"
}
# The receipt previews draw multibyte text in Noto Sans CJK and PDF417
# through ZXing, and are read back by OCR in each language they print. Their
# tests make third-party jobs with an npm package; the machines come with
# Node.js, a fresh Debian root gets Debian's.
command -v npm >/dev/null 2>&1 || NODE_PACKAGES="nodejs npm"
# Wine's 32-bit half needs the i386 architecture.
dpkg --add-architecture i386
update_index
install_packages \
    cmake make g++ python3 procps git libgtest-dev googletest \
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 \
    openjdk-17-jdk-headless junit4 \
    clang libclang-rt-14-dev valgrind \
    wine wine64 wine32:i386 \
    python3-pil python3-qrcode python3-reportlab zbar-tools tesseract-ocr fonts-dejavu-core fonts-vlgothic \
    tesseract-ocr-deu tesseract-ocr-fra tesseract-ocr-pol tesseract-ocr-ces tesseract-ocr-rus tesseract-ocr-ell \
    tesseract-ocr-tur tesseract-ocr-jpn tesseract-ocr-chi-sim tesseract-ocr-chi-tra tesseract-ocr-kor \
    fonts-noto-cjk \
    g++-aarch64-linux-gnu debootstrap libjssc-java libzxing-core-java \
    ${NODE_PACKAGES:-}

# qemu-user 10 from bookworm-backports (bookworm's own 7.2 stops Wine with
# "failed to map the shared user data"), with binfmt_misc mounted.
backports_qemu() {
    if ! dpkg-query -W -f '${Version}' qemu-user-static 2>/dev/null | grep -q '^1:10'; then
        echo "deb http://deb.debian.org/debian bookworm-backports main" >/etc/apt/sources.list.d/bookworm-backports.list
        update_index
        apt-get install -y -t bookworm-backports qemu-user-static
    fi
    binfmt=/proc/sys/fs/binfmt_misc
    [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
}

# Registers qemu-NAME for the ELF header MAGIC under MASK. The F flag opens
# the interpreter now, so it also works inside chroots and namespaces.
# printf '%s' keeps the \x escapes for the kernel to read.
register_qemu() {
    [ -e "$binfmt/qemu-$1" ] || printf '%s' ":qemu-$1:M::$2:$3:/usr/bin/qemu-$1-static:F" >"$binfmt/register"
}

# The 32-bit DLL runs under 32-bit Wine, which needs a kernel that runs i386
# programs. Where the i386 loader does not start, qemu-user runs them.
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    backports_qemu
    register_qemu i386 '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00' \
        '\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    /lib/ld-linux.so.2 --version >/dev/null
fi

# The aarch64 library runs in an arm64 JVM under qemu-user, inside the arm64
# root that scripts/arm64-root.sh makes.
backports_qemu
register_qemu aarch64 '\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00' \
    '\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
