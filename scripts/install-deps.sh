#!/bin/sh
# Installs everything the build, the tests and the demo need, from Debian's
# packages only. Run as root on a fresh Debian 12 machine.
set -eu

export DEBIAN_FRONTEND=noninteractive
# Wine's 32-bit half needs the i386 architecture.
dpkg --add-architecture i386
apt-get update
apt-get install -y \
    cmake make g++ python3 procps libgtest-dev googletest \
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 \
    openjdk-17-jdk-headless junit4 \
    clang libclang-rt-14-dev valgrind \
    wine wine64 wine32:i386
