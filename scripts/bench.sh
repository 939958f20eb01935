#!/bin/sh
# Builds the libraries and the benchmarks, then measures the library against
# the raw platform calls under Wine and on Linux: scripts/bench.sh [--seconds S].
set -eu
cd "$(dirname "$0")/.."
scripts/build.sh --quiet linux win32 win64
exec python3 scripts/bench.py "$@"
