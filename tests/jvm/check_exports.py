#!/usr/bin/env python3
"""The Linux library exports exactly the JNI entry points: the six of IOPort,
which never change, and DataPath's."""

import argparse
import subprocess
import sys

EXPECTED = {"Java_net_vellamoor_printerio_IOPort_" + name for name in (
    "nativeOpenPort", "nativeClosePort", "nativeWritePort", "nativeReadPort", "nativeResetDevice",
    "nativeGetParsedStatus")} | {"Java_net_vellamoor_printerio_DataPath_nativeRead"}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--nm", required=True)
    parser.add_argument("--library", required=True)
    args = parser.parse_args()
    listing = subprocess.run([args.nm, "-D", "--defined-only", args.library], capture_output=True, text=True,
                             check=True).stdout
    exported = {fields[2] for fields in (line.split() for line in listing.splitlines())
                if len(fields) == 3 and fields[1] in "TW"}
    if exported != EXPECTED:
        print("missing: %s\nunexpected: %s" % (sorted(EXPECTED - exported), sorted(exported - EXPECTED)))
        return 1
    print("\n".join(sorted(exported)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
