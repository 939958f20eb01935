#!/bin/sh
# Runs both entry-point fuzzers, the Windows library's over the simulated
# Win32 layer and the Linux library's over a POSIX layer of its own, one after
# the other, and prints for each its executions, coverage and findings.
#   scripts/fuzz.sh [SECONDS]   SECONDS per fuzzer (default 600)
#   scripts/fuzz.sh --long      ten million executions per fuzzer (hours)
# New interesting inputs stay in build/fuzz/tests/fuzz-corpus-NAME; merge
# them into the repository's small corpus with, for example:
#   build/fuzz/tests/entry_points_fuzzer -merge=1 tests/fuzz/corpus build/fuzz/tests/fuzz-corpus-entry_points_fuzzer
set -eu
cd "$(dirname "$0")/.."
scripts/build.sh fuzz
if [ "${1:-}" = --long ]; then
    seconds=0 extra="-runs=10000000"
else
    seconds=${1:-600} extra=""
fi
status=0
for fuzzer in entry_points_fuzzer linux_entry_points_fuzzer; do
    echo "=== $fuzzer"
    VELLAMOOR_FUZZ_SECONDS=$seconds tests/fuzz/run_fuzzer.sh "build/fuzz/tests/$fuzzer" "$seconds" $extra || status=1
done
exit $status
