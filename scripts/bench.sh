#!/bin/sh
# Builds the DLLs and the benchmark, then measures the library against the raw
# platform calls under Wine: scripts/bench.sh [--seconds S].
set -eu
cd "$(dirname "$0")/.."
scripts/build.sh --quiet win32 win64
exec python3 scripts/bench.py "$@"
