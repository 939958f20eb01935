#!/bin/sh
# Configures and builds the given presets (default: all four).
set -eu
cd "$(dirname "$0")/.."
presets="${*:-host host-asan win32 win64}"
for preset in $presets; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
done
