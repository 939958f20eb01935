#!/bin/sh
# The main job: sets up the machine, builds the DLLs and the printer tool,
# and prints on a virtual serial and a virtual network printer under Wine,
# then through the Linux library with the Java example in the real JVM.
# Set VELLAMOOR_SKIP_INSTALL=1 to skip the apt step on a prepared machine.
set -eu
cd "$(dirname "$0")/.."
if [ "${VELLAMOOR_SKIP_INSTALL:-0}" != 1 ]; then
    scripts/install-deps.sh >/tmp/vellamoor-install.log 2>&1 || { cat /tmp/vellamoor-install.log; exit 1; }
fi
scripts/build.sh --quiet linux win32 win64
exec python3 scripts/demo.py "$@"
