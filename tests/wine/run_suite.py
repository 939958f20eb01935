#!/usr/bin/env python3
"""Runs one module of the Wine end-to-end suite; exits 77 (skipped) when
this machine cannot run the build's Wine loader, except in CI (CI=true),
where that fails."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_env  # noqa: E402

SKIPPED = 77
# Modules that only read the DLL image and need no Wine.
WITHOUT_WINE = {"test_dll_image"}


def main():
    module = sys.argv[1]
    if module in WITHOUT_WINE:
        return run(module)
    problem = wine_env.session.loader_problem()
    if problem:
        # In CI the machine was set up to run both DLLs, so a loader that does
        # not start is a broken set-up, not a reason to skip.
        verdict = "FAILED" if os.environ.get("CI") == "true" else "SKIPPED"
        print("%s: %s. The suite needs a Wine loader for this DLL's architecture "
              "(32-bit needs i386 programs to run: natively or through qemu-user, "
              "see scripts/install-deps.sh)." % (verdict, problem))
        return 1 if verdict == "FAILED" else SKIPPED
    with wine_env.session.serving():
        try:
            return run(module)
        finally:
            wine_env.SharedDriver.close()


def run(module):
    suite = unittest.defaultTestLoader.loadTestsFromName(module)
    result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout).run(suite)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
