#!/bin/sh
# Runs an entry-point fuzzer for a bounded time: run_fuzzer.sh FUZZER SECONDS
# [LIBFUZZER OPTIONS...] (SECONDS 0: no time limit). VELLAMOOR_FUZZ_SECONDS in
# the environment overrides SECONDS. Prints the executions, the coverage and
# any finding.
# New inputs go to a working corpus in the build tree; the seeds in the
# repository are read, never written. The full log stays beside the fuzzer.
set -u
fuzzer=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
seconds=${VELLAMOOR_FUZZ_SECONDS:-$2}
shift 2
seeds=$(cd "$(dirname "$0")" && pwd)/corpus
work=$(dirname "$fuzzer")/fuzz-corpus-$(basename "$fuzzer")
log=$(dirname "$fuzzer")/$(basename "$fuzzer").log
mkdir -p "$work"
cd "$(dirname "$fuzzer")"
# A small quarantine keeps ASan reusing warm memory instead of faulting in
# fresh pages for every allocation, and allocation stacks are not recorded:
# together a third of each run. Run a finding again under the plain fuzzer
# binary for full allocation stacks.
export ASAN_OPTIONS="quarantine_size_mb=1:malloc_context_size=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
    "$@" "$work" "$seeds" >"$log" 2>&1
status=$?
grep -E "stat::number_of_executed_units|stat::average_exec_per_sec|DONE|fuzz check|ERROR|SUMMARY|Test unit written" "$log"
[ $status -eq 0 ] || tail -60 "$log"
exit $status
