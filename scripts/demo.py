#!/usr/bin/env python3
"""The demo: prints a test receipt on a virtual serial printer and a virtual
network printer through the real DLL under Wine, queries both for status,
shows what came out of each printer, then does it again with the network
printer's cover open and its paper near the end. Then the same on Linux: the
Java example program prints through the Linux library in the real JVM."""

import argparse
import glob
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
for tool in ("virtual_printer", "wine"):
    sys.path.insert(0, os.path.join(ROOT, "tools", tool))

from virtual_printer import NetworkPrinter, PrinterState, SerialPrinter, render  # noqa: E402
from wine_session import BUILDS, choose_build  # noqa: E402

SKIPPED = 77
SERIAL_PORT = 3
NETWORK_ADDRESS = "127.0.77.1"
LINUX_LIBRARY = os.path.join(ROOT, "build", "linux", "libVellamoorJIOx64.so")
LINUX_SERIAL_PORT = 40
LINUX_NETWORK_ADDRESS = "127.0.77.2"


PREVIEWS = os.path.join(ROOT, "build", "demo")


def show_paper(name, job, slug):
    """What came out of a printer: as text here, and drawn as printed into a PNG."""
    print("\n-- paper from the %s:" % name)
    print(render(job))
    os.makedirs(PREVIEWS, exist_ok=True)
    recorded = os.path.join(PREVIEWS, slug + ".bin")
    with open(recorded, "wb") as out:
        out.write(job)
    picture = os.path.join(PREVIEWS, slug + ".png")
    drawn = subprocess.run([sys.executable, os.path.join(ROOT, "tools", "virtual_printer", "virtual_printer.py"),
                            "--render", recorded, "--png", picture], capture_output=True, text=True)
    print("   preview: %s" % (os.path.relpath(picture, ROOT) if drawn.returncode == 0 else
                              "not drawn (%s)" % drawn.stderr.strip().splitlines()[-1:]))


def linux_round(failures):
    """The Java example, PrintReceipt, on a virtual serial and network printer
    through libVellamoorJIOx64.so in the real JVM."""
    classes = os.path.join(ROOT, "build", "linux", "example")
    sources = glob.glob(os.path.join(ROOT, "java", "net", "vellamoor", "printerio", "*.java"))
    subprocess.run(["javac", "--release", "8", "-Xlint:-options", "-d", classes,
                    os.path.join(ROOT, "java", "example", "PrintReceipt.java")] + sources, check=True)
    serial = SerialPrinter(PrinterState())
    network = NetworkPrinter(LINUX_NETWORK_ADDRESS, PrinterState(paper_near_end=True))
    env = dict(os.environ, **{"VELLAMOOR_COM%d" % LINUX_SERIAL_PORT: serial.tty_path})
    lines = []
    try:
        print("\n== Linux: the Java example through %s in the real JVM" % os.path.basename(LINUX_LIBRARY))
        print("virtual serial printer bound to COM%d (VELLAMOOR_COM%d=%s), virtual network printer on %s"
              % (LINUX_SERIAL_PORT, LINUX_SERIAL_PORT, serial.tty_path, LINUX_NETWORK_ADDRESS))
        for arguments, recorder in ((["serial", str(LINUX_SERIAL_PORT)], serial.recorder),
                                    (["network", LINUX_NETWORK_ADDRESS], network.data)):
            print("$ java PrintReceipt " + " ".join(arguments))
            result = subprocess.run(["java", "-Xcheck:jni", "-Dvellamoor.printerio.library=" + LINUX_LIBRARY,
                                     "-cp", classes, "PrintReceipt"] + arguments, env=env, capture_output=True,
                                    text=True, timeout=60)
            output = (result.stdout + result.stderr).rstrip()
            print("  " + output.replace("\n", "\n  "))
            if result.returncode != 0 or "WARNING" in output:
                failures.append("PrintReceipt %s exited %d" % (" ".join(arguments), result.returncode))
            recorder.wait_for(lambda r: b"\x1dV" in r.received, 5)
            show_paper("%s printer" % arguments[0], bytes(recorder.received), "linux-" + arguments[0])
            lines.append(output)
    finally:
        serial.close()
        network.close()
    return lines


class Demo:
    def __init__(self, build):
        self.session = build.session
        self.tool = build.program("printertool.exe")
        self.session_name = build.preset
        self.rounds = 0
        self.failures = []

    def printertool(self, *arguments):
        print("$ printertool " + " ".join(arguments))
        result = self.session.run(self.tool, arguments)
        output = (result.stdout + result.stderr).rstrip()
        print("  " + output.replace("\n", "\n  "))
        if result.returncode != 0:
            self.failures.append("printertool %s exited %d" % (" ".join(arguments), result.returncode))
        return output

    def round(self, title, serial, network):
        print("\n== %s" % title)
        serial.recorder.received.clear()
        network.data.received.clear()
        lines = [self.printertool("--serial", str(SERIAL_PORT), "--speed", "9600", "--test-receipt", "--status"),
                 self.printertool("--network", NETWORK_ADDRESS, "--test-receipt", "--status")]
        serial.recorder.wait_for(lambda r: b"\x1dV" in r.received, 5)
        network.data.wait_for(lambda r: b"\x1dV" in r.received, 5)
        self.rounds += 1
        for name, job, slug in (("serial printer (COM%d)" % SERIAL_PORT, serial.recorder.received, "serial"),
                                ("network printer (%s)" % NETWORK_ADDRESS, network.data.received, "network")):
            show_paper(name, bytes(job), "%s-%s-round%d" % (self.session_name, slug, self.rounds))
        return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--check", action="store_true", help="fail unless every step gives the expected result")
    parser.add_argument("--build", choices=[b[0] for b in BUILDS], help="use this build only (skip if it cannot run)")
    parser.add_argument("--linux", action="store_true", help="run the Linux part only")
    args = parser.parse_args()
    if args.linux:
        failures = []
        lines = linux_round(failures)
        if args.check:
            for output, expected in zip(lines, ("online, paper present", "online, paper near end")):
                if expected not in output:
                    failures.append("expected %r in %r" % (expected, output))
        for failure in failures:
            print("demo: " + failure, file=sys.stderr)
        return 1 if failures else 0
    build, passed_over = choose_build(ROOT, args.build)
    if build is None and args.build:
        # In CI both DLLs must run, so a build that cannot is a failure there.
        if os.environ.get("CI") == "true":
            print("FAILED: %s" % passed_over[0])
            return 1
        print("SKIPPED: %s" % passed_over[0])
        return SKIPPED
    if build is None:
        sys.exit("demo: no Wine loader runs on this machine: " + "; ".join(passed_over))
    for problem in passed_over:
        print("note: %s; using the 64-bit build of the same sources instead" % problem)
    session = build.session
    demo = Demo(build)
    with session.serving():
        serial = SerialPrinter(PrinterState())
        serial.link(session.prefix, SERIAL_PORT)
        network = NetworkPrinter(NETWORK_ADDRESS, PrinterState())
        try:
            how = " (emulated by qemu-user)" if session.emulated() else ""
            print("VellamoorJIO demo: %s under %s%s" % (build.dll_name, os.path.basename(session.loader), how))
            print("virtual serial printer on COM%d (%s), virtual network printer on %s:9100/4000"
                  % (SERIAL_PORT, serial.tty_path, NETWORK_ADDRESS))
            first = demo.round("Both printers ready", serial, network)
            network.responder.state = PrinterState(cover_open=True, paper_near_end=True)
            second = demo.round("Again, with the network printer's cover open and its paper near the end",
                                serial, network)
        finally:
            serial.close()
            network.close()
    if os.path.exists(LINUX_LIBRARY) and not args.build:
        linux_round(demo.failures)
    if args.check:
        expectations = [(first[0], "COM%d: online, paper present" % SERIAL_PORT),
                        (first[1], NETWORK_ADDRESS + ": online, paper present"),
                        (second[1], NETWORK_ADDRESS + ": offline, cover open, paper near end")]
        for output, expected in expectations:
            if expected not in output:
                demo.failures.append("expected %r in %r" % (expected, output))
    for failure in demo.failures:
        print("demo: " + failure, file=sys.stderr)
    return 1 if demo.failures else 0


if __name__ == "__main__":
    sys.exit(main())
