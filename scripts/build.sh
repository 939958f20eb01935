#!/bin/sh
# Configures and builds the given presets (default: the libraries and the
# unit tests). With --quiet
# the output goes to build/build.log and is shown only when the build fails.
set -eu
cd "$(dirname "$0")/.."
if [ "${1:-}" = --quiet ]; then
    shift
    mkdir -p build
    scripts/build.sh "$@" >build/build.log 2>&1 || { cat build/build.log; exit 1; }
    exit 0
fi
presets="${*:-host host-asan linux linux-aarch64 win32 win64}"
for preset in $presets; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
done
