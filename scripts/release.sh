#!/bin/sh
# Builds the release bundle build/release/vellamoor-printerio-VERSION.zip:
# both DLLs, the Linux libraries, the jar, printertool.exe and the Linux
# printertool, the README, the pages of docs/ (the install guide also at the
# top) and SHA256SUMS. One commit gives the same bytes wherever it is built.
# Expects the build tools in place (scripts/install-deps.sh).
set -eu
cd "$(dirname "$0")/.."
for preset in win32 win64 linux linux-aarch64; do
    cmake --preset "$preset" >/dev/null
done
cmake --build --preset win32 -j "$(nproc)" --target VellamoorJIOx32 printertool >/dev/null
cmake --build --preset win64 -j "$(nproc)" --target VellamoorJIOx64 printertool >/dev/null
cmake --build --preset linux -j "$(nproc)" --target VellamoorJIOx64 printertool >/dev/null
cmake --build --preset linux-aarch64 -j "$(nproc)" --target VellamoorJIOx64 >/dev/null
scripts/java.sh --jar-only >/dev/null
exec python3 scripts/bundle.py "$(cat VERSION)"
