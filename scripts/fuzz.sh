#!/bin/sh
# Runs the entry-point fuzzer longer than CI does: scripts/fuzz.sh [SECONDS] (default 600).
# New interesting inputs stay in build/fuzz/tests/fuzz-corpus; merge them into
# the repository's corpus with:
#   build/fuzz/tests/entry_points_fuzzer -merge=1 tests/fuzz/corpus build/fuzz/tests/fuzz-corpus
set -eu
cd "$(dirname "$0")/.."
scripts/build.sh fuzz
VELLAMOOR_FUZZ_SECONDS="${1:-600}" exec tests/fuzz/run_fuzzer.sh build/fuzz/tests/entry_points_fuzzer "${1:-600}"
