#!/usr/bin/env python3
"""The Linux library exports exactly the JNI entry points: the six of IOPort,
which never change, and DataPath's."""

import argparse
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from jni_methods import METHODS, jni_name  # noqa: E402

EXPECTED = {jni_name(java_class, method) for java_class, method, _ in METHODS}


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
