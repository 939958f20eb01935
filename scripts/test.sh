#!/bin/sh
# The test command: installs what is missing, builds every preset and runs
# the host unit tests (plain and with ASan+UBSan), the Wine end-to-end
# suites of both DLLs, the Linux library's tests in the real JVM, a bounded
# fuzzing run and a valgrind memcheck of the unit tests, builds the jar and
# runs the Java loader and Printer API tests, and builds the release bundle
# and checks it (sums, version resources, reproducibility).
# Set VELLAMOOR_SKIP_INSTALL=1 to skip the apt step on a prepared machine.
set -eu
cd "$(dirname "$0")/.."

if [ "${VELLAMOOR_SKIP_INSTALL:-0}" != 1 ]; then
    scripts/install-deps.sh
fi

# The fuzz preset runs the libFuzzer target for VELLAMOOR_FUZZ_SECONDS (60).
presets="host host-asan fuzz linux linux-aarch64 win32 win64"
scripts/build.sh $presets
status=0
for preset in $presets; do
    echo "=== ctest --preset $preset"
    ctest --preset "$preset" || status=1
done
echo "=== jar, Java loader and Printer API tests"
scripts/java.sh || status=1
echo "=== release bundle: sums, version resources, a second build compared byte for byte"
{ scripts/release.sh && python3 tests/release/check_release.py; } || status=1
exit $status
