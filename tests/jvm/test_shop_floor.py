#!/usr/bin/env python3
"""Shop-floor faults that need a process of their own, each in the real JVM
with -Xcheck:jni: a network open with no route out of the machine (a
network namespace with only loopback up, so no packet can leave), and a
pseudo-terminal COM port opened, closed and opened again by an ordinary
account (root ignores the exclusive mode a close must clear), and the same
through Printer while another serial printer's job is stuck: the port that
waits to be closed is taken back, so "open per job" goes on."""

import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools", "virtual_printer"))

from probes import AS_NOBODY, compile_probe, root_arguments, run_probe  # noqa: E402
from virtual_printer import SerialPrinter  # noqa: E402

def main():
    args = root_arguments(__doc__.split("\n\n")[0], "a network namespace and another account need root")
    classes = compile_probe(args.work, os.path.join("faults", "ShopFloorProbe.java"))
    java = ["java", "-XX:-UsePerfData", "-Xcheck:jni", "-Dvellamoor.printerio.library=" + os.path.abspath(args.library),
            "-cp", classes, "ShopFloorProbe"]
    failures = 0

    handle, ms, left = run_probe(["unshare", "-n", "sh", "-c", 'ip link set lo up && exec "$@"', "sh"] + java
                                 + ["no-route"])
    ok = handle == "0" and int(ms) < 500 and left == "0"
    print("%s no route: handle %s after %s ms, %s descriptors left over (want 0, under 500 ms, 0)"
          % ("ok  " if ok else "FAIL", handle, ms, left))
    failures += not ok

    printer = SerialPrinter()
    try:
        os.chmod(printer.tty_path, 0o666)
        env = dict(os.environ, VELLAMOOR_COM5=printer.tty_path)
        handles = run_probe(AS_NOBODY + java + ["reopen", "5"], env)
    finally:
        printer.close()
    ok = handles == ["513", "513"]
    print("%s an ordinary account opens a pseudo-terminal COM port twice: %s (want 513 513)"
          % ("ok  " if ok else "FAIL", " ".join(handles)))
    failures += not ok

    stuck, till = SerialPrinter(stall_after=1024, stall_for=4.0), SerialPrinter()
    try:
        for printer in (stuck, till):
            os.chmod(printer.tty_path, 0o666)
        env = dict(os.environ, VELLAMOOR_COM8=stuck.tty_path, VELLAMOOR_COM9=till.tty_path)
        words = run_probe(AS_NOBODY + java + ["busy-reopen", "8", "9"], env)
    finally:
        stuck.close()
        till.close()
    ok = words[:1] == ["reopened"] and int(words[1]) < 1000 and words[2] == "true"
    print("%s COM9 closed and opened again while COM8's job is stuck: %s (want reopened in under 1000 ms, ready)"
          % ("ok  " if ok else "FAIL", " ".join(words)))
    failures += not ok
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
