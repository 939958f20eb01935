#!/usr/bin/env python3
"""printertool on Linux against virtual printers: every exit code of
--exit-status reached by a loopback network printer in that state, --list
on a stand-in device tree (sysfs and /dev of its own) finding exactly its
serial ports and USB printers and every COM number bound by a variable,
--list --status asking the ones the library can open, one clear line for
bad input, and the tool as the build leaves it finding its library."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools", "virtual_printer"))

from virtual_printer import NetworkPrinter, PrinterState, SerialPrinter  # noqa: E402

TOOL = LIBRARY = None


def tool(*arguments, env=None, library=True):
    named = ["--library", LIBRARY] if library else []
    return subprocess.run([TOOL] + named + list(arguments), env=env, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, text=True, timeout=30)


class BuildTree(unittest.TestCase):
    def test_tool_loads_the_library_the_build_made(self):
        printer = SerialPrinter()
        self.addCleanup(printer.close)
        env = dict(os.environ, VELLAMOOR_COM7=printer.tty_path)
        result = tool("--serial", "7", "--test-receipt", "--status", env=env, library=False)
        self.assertEqual(0, result.returncode, result.stderr)
        self.assertIn("COM7: online", result.stdout)
        self.assertIn(b"COM7", bytes(printer.recorder.received), "the test receipt names its port")
        version = tool("--version", library=False)
        self.assertEqual(0, version.returncode, version.stderr)
        loaded = version.stdout.splitlines()[1][len("library: "):]
        self.assertEqual(os.path.realpath(LIBRARY), os.path.realpath(loaded))


class ExitStatus(unittest.TestCase):
    def test_each_state_has_its_exit_code(self):
        cases = [("ready", {}, 0), ("paper near end", {"paper_near_end": True}, 10),
                 ("offline", {"offline": True}, 11), ("cover open", {"cover_open": True}, 12),
                 ("paper end", {"paper_end": True}, 13), ("cutter error", {"cutter_error": True}, 14),
                 ("cover open and paper end", {"cover_open": True, "paper_end": True}, 12)]
        for number, (label, state, code) in enumerate(cases, start=1):
            address = "127.0.9.%d" % number
            printer = NetworkPrinter(address, PrinterState(**state))
            try:
                result = tool("--network", address, "--status", "--exit-status", "--timeout", "500")
            finally:
                printer.close()
            self.assertEqual(code, result.returncode, "%s: %s %s" % (label, result.stdout, result.stderr))
            self.assertIn(address + ": ", result.stdout, label)
        silent = NetworkPrinter("127.0.9.20", silent_after=0)
        try:
            result = tool("--network", "127.0.9.20", "--status", "--exit-status", "--timeout", "300")
        finally:
            silent.close()
        self.assertEqual(6, result.returncode, "no answer")
        self.assertIn("did not answer", result.stderr)

    def test_bad_input_gets_one_line(self):
        for arguments in (("--list", "--serial", "3"), ("--network", "127.0.9.1", "--exit-status"),
                          ("--list", "--test-receipt")):
            result = tool(*arguments)
            self.assertEqual(2, result.returncode, arguments)
            self.assertEqual(1, len(result.stderr.strip().splitlines()), result.stderr)
            self.assertEqual("", result.stdout)


class Listing(unittest.TestCase):
    """A device tree of its own: ttyS0 (present), ttyS1 (absent, type 0),
    ttyUSB0 with a by-id link, bound to COM5; ttyACM0 unbound; lp0 of an
    accepted make and lp1 of another. The serial ports are pseudo-terminals;
    COM7 is bound to one outside the tree, COM8 to a device that is not there."""

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="printertool-tree-")
        self.addCleanup(shutil.rmtree, self.root)
        self.serial = SerialPrinter()
        self.silent = SerialPrinter(silent_after=0)
        self.usb = SerialPrinter()
        self.bound = SerialPrinter()
        for printer in (self.serial, self.silent, self.usb, self.bound):
            self.addCleanup(printer.close)
        for name, kind in (("ttyS0", "4"), ("ttyS1", "0"), ("ttyUSB0", None), ("ttyACM0", None)):
            self.make_dir("sys/class/tty/%s/device" % name)
            if kind is not None:
                self.write("sys/class/tty/%s/type" % name, kind)
        self.make_dir("dev/serial/by-id")
        self.make_dir("dev/usb")
        os.symlink(self.serial.tty_path, self.path("dev/ttyUSB0"))
        os.symlink(self.silent.tty_path, self.path("dev/ttyS0"))
        os.symlink("../../ttyUSB0", self.path("dev/serial/by-id/usb-Vellamoor_Printer_42-if00-port0"))
        for number, vendor in ((0, "0483"), (1, "1234")):
            self.make_dir("sys/class/usbmisc/lp%d/device" % number)
            self.write("sys/class/usbmisc/lp%d/idVendor" % number, vendor)
        os.symlink(self.usb.tty_path, self.path("dev/usb/lp0"))
        # COM1 is bound by name to the tree's ttyS0, as the library would; the
        # variable keeps the library away from this machine's own /dev/ttyS0.
        self.env = dict(os.environ, VELLAMOOR_TEST_USB_ROOT=self.root, VELLAMOOR_COM5=self.path("dev/ttyUSB0"),
                        VELLAMOOR_COM1=self.path("dev/ttyS0"), VELLAMOOR_COM7=self.bound.tty_path,
                        VELLAMOOR_COM8=self.path("dev/ttyUSB9"))

    def path(self, relative):
        return os.path.join(self.root, relative)

    def make_dir(self, relative):
        os.makedirs(self.path(relative), exist_ok=True)

    def write(self, relative, text):
        with open(self.path(relative), "w") as out:
            out.write(text + "\n")

    def test_list_finds_exactly_the_tree_and_writes_nothing(self):
        result = tool("--list", env=self.env)
        self.assertEqual(0, result.returncode, result.stderr)
        self.assertEqual(["-  serial port  /dev/ttyACM0  (no COM number: set VELLAMOOR_COM<n>=/dev/ttyACM0)",
                          "COM1  serial port  /dev/ttyS0  (VELLAMOOR_COM1=%s)" % self.path("dev/ttyS0"),
                          "COM5  serial port  /dev/ttyUSB0  by-id usb-Vellamoor_Printer_42-if00-port0"
                          "  (VELLAMOOR_COM5=%s)" % self.path("dev/ttyUSB0"),
                          "COM7  serial port  %s  (VELLAMOOR_COM7=%s)" % (self.bound.tty_path, self.bound.tty_path),
                          "COM8  missing  (VELLAMOOR_COM8=%s: no such device)" % self.path("dev/ttyUSB9"),
                          "USB  /dev/usb/lp0  vendor 0483  accepted",
                          "USB  /dev/usb/lp1  vendor 1234  not accepted"], result.stdout.splitlines())
        received = b"".join(bytes(printer.recorder.received) for printer in (self.serial, self.usb, self.bound))
        self.assertEqual(b"", received, "listing writes to no device")
        # An empty variable binds nothing, for the library as for the list.
        unset = tool("--list", env=dict(self.env, VELLAMOOR_COM1=""))
        self.assertIn("COM1  serial port  /dev/ttyS0", unset.stdout.splitlines())

    def test_list_with_status_asks_what_the_library_can_open(self):
        result = tool("--list", "--status", "--timeout", "300", env=self.env)
        self.assertEqual(0, result.returncode, result.stderr)
        lines = result.stdout.splitlines()
        self.assertIn("COM5: online, paper present (reply 12 12 12 12)", lines)
        self.assertIn("COM7: online, paper present (reply 12 12 12 12)", lines)
        self.assertFalse([line for line in lines if line.startswith("COM8:")], "a missing device is not asked")
        self.assertIn("USB: online, paper present (reply 12 12 12 12)", lines)
        self.assertIn("COM1: no answer within 300 ms", lines)


def main():
    global TOOL, LIBRARY
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--tool", required=True)
    parser.add_argument("--library", required=True)
    args, rest = parser.parse_known_args()
    TOOL, LIBRARY = os.path.abspath(args.tool), os.path.abspath(args.library)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
