#!/usr/bin/env python3
"""Shop-floor faults that need a process of their own, each in the real JVM
with -Xcheck:jni: a network open with no route out of the machine (a
network namespace with only loopback up, so no packet can leave), and a
pseudo-terminal COM port opened, closed and opened again by an ordinary
account (root ignores the exclusive mode a close must clear)."""

import argparse
import os
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools", "virtual_printer"))

from probes import compile_probe  # noqa: E402
from virtual_printer import SerialPrinter  # noqa: E402

AS_NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
SKIP = 77


def run(prefix, java, env=None):
    result = subprocess.run(prefix + java, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                            timeout=60)
    if result.returncode != 0 or "WARNING" in result.stdout:
        raise AssertionError("%s failed:\n%s" % (" ".join(prefix + java), result.stdout))
    return result.stdout.split()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--library", required=True, help="libVellamoorJIOx64.so")
    parser.add_argument("--work", required=True, help="a folder for the run (emptied first)")
    args = parser.parse_args()
    if os.geteuid() != 0:
        print("SKIP: a network namespace and another account need root")
        return SKIP
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    classes = compile_probe(args.work, os.path.join("faults", "ShopFloorProbe.java"))
    java = ["java", "-XX:-UsePerfData", "-Xcheck:jni", "-Dvellamoor.printerio.library=" + os.path.abspath(args.library),
            "-cp", classes, "ShopFloorProbe"]
    failures = 0

    handle, ms, left = run(["unshare", "-n", "sh", "-c", 'ip link set lo up && exec "$@"', "sh"], java + ["no-route"])
    ok = handle == "0" and int(ms) < 500 and left == "0"
    print("%s no route: handle %s after %s ms, %s descriptors left over (want 0, under 500 ms, 0)"
          % ("ok  " if ok else "FAIL", handle, ms, left))
    failures += not ok

    printer = SerialPrinter()
    try:
        os.chmod(printer.tty_path, 0o666)
        env = dict(os.environ, VELLAMOOR_COM5=printer.tty_path)
        handles = run(AS_NOBODY, java + ["reopen", "5"], env)
    finally:
        printer.close()
    ok = handles == ["513", "513"]
    print("%s an ordinary account opens a pseudo-terminal COM port twice: %s (want 513 513)"
          % ("ok  " if ok else "FAIL", " ".join(handles)))
    failures += not ok
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
