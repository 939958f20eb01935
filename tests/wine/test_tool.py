import os
import tempfile
import unittest

import wine_env
from virtual_printer import NetworkPrinter, SerialPrinter, render

TOOL = os.environ.get("VELLAMOOR_TOOL", "")


def tool(*arguments):
    return wine_env.session.run(TOOL, arguments)


class PrinterTool(unittest.TestCase):
    def assert_fails(self, code, result, words):
        self.assertEqual(code, result.returncode, result.stderr)
        # Wine's own messages share the console: a device-enumeration helper
        # that Wine starts for SetupAPI has been seen to crash and say so
        # while the tool itself carried on. Only the tool's lines count.
        lines = [line for line in result.stderr.strip().splitlines() if not line.startswith("wine: ")]
        self.assertEqual(1, len(lines), "one clear line on stderr: %r" % result.stderr)
        self.assertIn(words, lines[0])
        self.assertEqual("", result.stdout)

    @staticmethod
    def restart_wine():
        wine_env.session.stop_server()
        wine_env.session.start_server()

    def test_help_documents_every_option(self):
        result = tool("--help")
        self.assertEqual(0, result.returncode)
        for option in ("--serial", "--speed", "--network", "--usb", "--print", "--test-receipt", "--status",
                       "--exit-status", "--list", "--timeout", "--library", "--help", "Exit codes"):
            self.assertIn(option, result.stdout)

    def test_list_finds_the_com_ports_of_the_prefix(self):
        printer = SerialPrinter()
        self.addCleanup(printer.close)
        # A port the system knows, as Windows learns its ports at boot: Wine
        # creates the devices of its Ports key when its services start.
        ports = "HKLM\\Software\\Wine\\Ports"
        wine_env.session.run("reg", ["add", ports, "/v", "COM23", "/d", printer.tty_path, "/f"])
        self.addCleanup(self.restart_wine)
        self.addCleanup(wine_env.session.run, "reg", ["delete", ports, "/v", "COM23", "/f"])
        self.restart_wine()
        result = tool("--list")
        self.assertEqual(0, result.returncode, result.stderr)
        self.assertIn("COM23  serial port", result.stdout)
        self.assertEqual(b"", bytes(printer.recorder.received), "listing writes to no port")

    def test_bad_arguments(self):
        cases = ((), ("--serial",), ("--serial", "0", "--status"), ("--serial", "3", "--speed", "1200", "--status"),
                 ("--network", "300.1.1.1", "--status"), ("--serial", "3", "--usb", "--status"), ("--serial", "3"),
                 ("--bogus",), ("--serial", "3", "--print", "x", "--test-receipt"))
        for arguments in cases:
            self.assert_fails(2, tool(*arguments), "printertool:")

    def test_port_that_does_not_open(self):
        self.assert_fails(4, tool("--serial", "44", "--status"), "cannot open the printer on COM44")
        self.assert_fails(4, tool("--usb", "--test-receipt"), "cannot open the printer on USB")
        self.assert_fails(4, tool("--network", "127.0.5.9", "--timeout", "300", "--status"), "127.0.5.9")

    def test_library_that_does_not_load(self):
        self.assert_fails(3, tool("--library", "C:\\nowhere\\missing.dll", "--serial", "3", "--status"), "cannot load")

    def test_printer_that_does_not_answer(self):
        printer = SerialPrinter(silent_after=0)
        printer.link(wine_env.PREFIX, 21)
        self.addCleanup(printer.close)
        self.assert_fails(6, tool("--serial", "21", "--timeout", "300", "--status"), "did not answer")

    def test_prints_a_file_on_a_network_printer_and_reports_status(self):
        printer = NetworkPrinter("127.0.5.1")
        self.addCleanup(printer.close)
        job = b"\x1b@Hello\n\x1dVB\x00"
        with tempfile.NamedTemporaryFile(suffix=".bin", delete=False) as file:
            file.write(job)
        self.addCleanup(os.unlink, file.name)
        result = tool("--network", "127.0.5.1", "--print", "Z:" + file.name.replace("/", "\\"), "--status")
        self.assertEqual(0, result.returncode, result.stderr)
        self.assertIn("127.0.5.1: online, paper present", result.stdout)
        self.assertTrue(printer.data.wait_for(lambda r: bytes(r.received) == job, 5))
        self.assertIn("Hello", render(job))
