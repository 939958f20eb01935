#!/usr/bin/env python3
"""Runs the JUnit tests of IOPort and of the printer API on the Linux
library inside the real JVM with -Xcheck:jni. Sets up the virtual printers
they talk to: serial printers and a silent one on pseudo-terminals (bound to
COM5, COM7 and COM6), a USB printer stand-in (a sysfs and /dev tree of its
own with a pseudo-terminal as lp0), and network printers on loopback. Any
warning that -Xcheck:jni prints fails the run."""

import argparse
import contextlib
import os
import re
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools", "virtual_printer"))

from virtual_printer import NetworkPrinter, PrinterState, SerialPrinter  # noqa: E402

JUNIT = ["/usr/share/java/junit4.jar", "/usr/share/java/hamcrest-core.jar"]
TESTS = ["net.vellamoor.printerio.IOPortOnLinuxTest", "net.vellamoor.printerio.ConcurrentPrintersOnLinuxTest",
         "net.vellamoor.printerio.StuckPrinterOnLinuxTest", "net.vellamoor.printerio.DataPathOnLinuxTest",
         "net.vellamoor.printerio.ConfirmedPrintOnLinuxTest", "net.vellamoor.printerio.PushedStatusOnLinuxTest"]
# What HotSpot prints when -Xcheck:jni finds misuse.
JNI_COMPLAINT = re.compile(r"WARNING in native method|FATAL ERROR in native method|JNI (warning|error)", re.I)


def compile_sources(work):
    classes = os.path.join(work, "classes")
    java = os.path.join(ROOT, "java", "net", "vellamoor", "printerio")
    tests = os.path.join(ROOT, "tests", "jvm", "net", "vellamoor", "printerio")
    subprocess.run(["javac", "--release", "8", "-Xlint:-options", "-d", classes]
                   + [os.path.join(java, f) for f in os.listdir(java) if f.endswith(".java")], check=True)
    subprocess.run(["javac", "-Xlint:-options", "-cp", os.pathsep.join([classes] + JUNIT), "-d", classes]
                   + [os.path.join(tests, f) for f in sorted(os.listdir(tests)) if f.endswith(".java")], check=True)
    return classes


def usb_stand_in(work, printer):
    """lp0 with an accepted vendor ID (0483) in a tree laid out like sysfs and /dev."""
    root = os.path.join(work, "usb")
    lp0 = os.path.join(root, "sys", "class", "usbmisc", "lp0")
    os.makedirs(os.path.join(lp0, "device"))
    with open(os.path.join(lp0, "idVendor"), "w") as vendor:
        vendor.write("0483\n")
    os.makedirs(os.path.join(root, "dev", "usb"))
    os.symlink(printer.tty_path, os.path.join(root, "dev", "usb", "lp0"))
    return root


@contextlib.contextmanager
def arm64_jvm(paths):
    """The java command of a Debian arm64 root (made once per machine by
    scripts/arm64-root.sh) run under qemu-user through binfmt_misc. The root
    sees this machine's /dev (the printers' pseudo-terminals), /proc and the
    given folders at their own paths; the loopback printers are shared."""
    root = subprocess.run([os.path.join(ROOT, "scripts", "arm64-root.sh")], stdout=subprocess.PIPE, text=True,
                          check=True).stdout.strip()
    mounts = []
    try:
        for source, kind in [("/dev", "--rbind"), ("/proc", "--rbind")] + [(path, "--bind") for path in paths]:
            target = root + source
            os.makedirs(target, exist_ok=True)
            subprocess.run(["mount", kind, source, target], check=True)
            mounts.append(target)
        yield ["chroot", root, "/usr/lib/jvm/java-17-openjdk-arm64/bin/java"]
    finally:
        for target in reversed(mounts):
            subprocess.run(["umount", "-R", target], check=False)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--library", required=True, help="libVellamoorJIOx64.so")
    parser.add_argument("--work", required=True, help="a folder for classes and records (emptied first)")
    parser.add_argument("--arm64", action="store_true", help="run an aarch64 library in an arm64 JVM under qemu-user")
    args = parser.parse_args()
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    classes = compile_sources(args.work)

    def record(name):
        return os.path.join(args.work, name)

    printers = [SerialPrinter(record_path=record("serial.bin")), SerialPrinter(silent_after=0),
                SerialPrinter(record_path=record("usb.bin")),
                NetworkPrinter("127.0.8.1", record_path=record("network1.bin")),
                NetworkPrinter("127.0.8.2", PrinterState(cover_open=True), record_path=record("network2.bin")),
                NetworkPrinter("127.0.8.3", silent_after=0),
                # The concurrency test's printers.
                SerialPrinter(record_path=record("serial7.bin")),
                NetworkPrinter("127.0.8.4", record_path=record("network4.bin")),
                NetworkPrinter("127.0.8.5", record_path=record("network5.bin")),
                NetworkPrinter("127.0.8.6"),
                NetworkPrinter("127.0.8.7", idle_close_ms=300, record_path=record("idle.bin")),
                # The confirmed jobs' network printer.
                NetworkPrinter("127.0.8.8", lines_per_second=100)]
    serial_ports = {
        # The stuck-printer test's printers: one that stops reading for 3 s, one that answers.
        8: SerialPrinter(stall_after=1024, stall_for=3.0), 9: SerialPrinter(),
        # The data path test's printer that is unplugged while open.
        10: SerialPrinter(),
        # The confirmed jobs' printers: one at 100 lines a second, one unplugged.
        11: SerialPrinter(lines_per_second=100), 12: SerialPrinter(),
        # The pushed watches' printers: one that sends automatic status back, one that does not.
        13: SerialPrinter(), 14: SerialPrinter(pushes_status=False)}
    printers += list(serial_ports.values())
    serial, silent, usb = printers[:3]
    env = dict(os.environ, VELLAMOOR_COM5=serial.tty_path, VELLAMOOR_COM6=silent.tty_path,
               VELLAMOOR_COM7=printers[6].tty_path, VELLAMOOR_TEST_USB_ROOT=usb_stand_in(args.work, usb))
    env.update(("VELLAMOOR_COM%d" % number, printer.tty_path) for number, printer in serial_ports.items())
    # The JUnit jars go beside the classes, where an arm64 root sees them too.
    jars = []
    for jar in JUNIT:
        jars.append(os.path.join(args.work, os.path.basename(jar)))
        shutil.copy(jar, jars[-1])
    library = os.path.abspath(args.library)
    arguments = ["-Xcheck:jni", "-Dvellamoor.printerio.library=" + library, "-Dtest.records=" + args.work,
                 "-cp", os.pathsep.join([classes] + jars), "org.junit.runner.JUnitCore"] + TESTS
    try:
        with (arm64_jvm([os.path.abspath(args.work), os.path.dirname(library)]) if args.arm64
              else contextlib.nullcontext(["java"])) as java:
            result = subprocess.run(java + arguments, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                    text=True, timeout=900 if args.arm64 else 240)
    finally:
        for printer in printers:
            printer.close()
    print(result.stdout)
    complaints = [line for line in result.stdout.splitlines() if JNI_COMPLAINT.search(line)]
    for line in complaints:
        print("-Xcheck:jni: " + line)
    return 1 if result.returncode != 0 or complaints else 0


if __name__ == "__main__":
    sys.exit(main())
