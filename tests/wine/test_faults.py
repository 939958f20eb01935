"""Faults a driver meets in the field: printers that reset or stall, a port
that disappears, a full table, stale handles, and a long run of ordinary
jobs. Each case checks the results and that the driver process holds no
more kernel handles than before, counted from the system's handle table
(Wine's GetProcessHandleCount always answers 0)."""

import subprocess
import time
import unittest

import wine_env
from virtual_printer import NetworkPrinter, SerialPrinter

driver = wine_env.shared_driver
baseline = 0


def setUpModule():
    # The first network open starts Winsock's own lasting handles in the
    # process; only what comes after that can be a leak of ours.
    global baseline
    printer = NetworkPrinter("127.0.6.4")
    try:
        driver.close_port(driver.open(3, [127, 0, 6, 4], 500))
    finally:
        printer.close()
    baseline = driver.handles()


def settled_handles(expected, timeout=3.0):
    """The handle count once it is back at expected, or after timeout: Wine
    releases the resources of an aborted send a moment after the close."""
    deadline = time.monotonic() + timeout
    count = driver.handles()
    while count > expected and time.monotonic() < deadline:
        time.sleep(0.1)
        count = driver.handles()
    return count


class Faults(unittest.TestCase):
    def setUp(self):
        # Cleanups run last-in first-out, so this check comes after each
        # case's own cleanups have closed its ports.
        self.addCleanup(self.check_nothing_leaked)

    def check_nothing_leaked(self):
        self.assertEqual(baseline, settled_handles(baseline), "kernel handles (ports and sockets) leaked")
        self.assertTrue(driver.jni_clean())

    def timed(self, call, *arguments):
        started = time.monotonic()
        result = call(*arguments)
        return result, time.monotonic() - started

    def test_printer_that_resets_the_connection_mid_job(self):
        printer = NetworkPrinter("127.0.6.1", reset_after=64 * 1024)
        self.addCleanup(printer.close)
        handle = driver.open(3, [127, 0, 6, 1], 500)
        self.assertEqual(769, handle)
        self.addCleanup(driver.close_port, handle)
        job = 4 * 1024 * 1024
        for attempt in range(3):
            (result, written), elapsed = self.timed(driver.fill, handle, job)
            self.assertLess(elapsed, 5.0, "attempt %d did not hang" % attempt)
            self.assertEqual(result == 1, written > 0, "attempt %d" % attempt)
            self.assertLessEqual(written, job)
        self.assertTrue(printer.data.wait_for(lambda r: len(r.received) >= 64 * 1024, 5))
        self.assertEqual(bytes(range(256)) * 256, bytes(printer.data.received[:64 * 1024]), "what arrived is intact")

    def test_printer_that_never_reads(self):
        printer = NetworkPrinter("127.0.6.2", accept_data=False)
        self.addCleanup(printer.close)
        handle = driver.open(3, [127, 0, 6, 2], 500)
        self.assertEqual(769, handle)
        self.addCleanup(driver.close_port, handle)
        job = 64 * 1024 * 1024
        (result, written), elapsed = self.timed(driver.fill, handle, job)
        self.assertLess(elapsed, 5.0, "the send time-out bounds the write")
        self.assertLess(written, job, "a stalled printer cannot have taken 64 MiB")
        self.assertEqual(result == 1, written > 0)

    def test_port_that_disappears_under_an_open_handle(self):
        printer = SerialPrinter()
        printer.link(wine_env.PREFIX, 16)
        handle = driver.open(2, [16, 1], 300)
        self.assertEqual(513, handle)
        printer.close()  # the device goes away: master and slave closed, link removed
        (result, written), elapsed = self.timed(driver.write, handle, b"after the port is gone")
        self.assertLess(elapsed, 5.0)
        self.assertEqual(result == 1, written > 0)
        (result, status), elapsed = self.timed(driver.status, handle)
        self.assertLess(elapsed, 5.0)
        self.assertEqual((0, b"\xee" * 137), (result, status))
        self.assertEqual(1, driver.close_port(handle))

    def test_full_serial_table_refuses_the_next_open(self):
        printer = SerialPrinter()
        printer.link(wine_env.PREFIX, 17)
        self.addCleanup(printer.close)
        # Wine does not enforce exclusive opens, so one port fills the table.
        for index in range(1, 256):
            self.assertEqual(512 + index, driver.open(2, [17, 1], 300), "open %d" % index)
        self.assertEqual(0, driver.open(2, [17, 1], 300), "a 256th port cannot be named by a handle")
        for _ in range(255):
            self.assertEqual(1, driver.close_port(513))
        self.assertEqual((0, 0), driver.write(513, b"x"))

    def test_full_network_table_refuses_the_next_printer(self):
        printers = [NetworkPrinter("127.0.7.%d" % n) for n in range(1, 129)]
        for printer in printers:
            self.addCleanup(printer.close)
        for n in range(1, 128):
            self.assertEqual(768 + 2 * n - 1, driver.open(3, [127, 0, 7, n], 500), "printer %d" % n)
        self.assertEqual(0, driver.open(3, [127, 0, 7, 128], 500), "its status connection would be entry 256")
        last = printers[-1]
        self.assertTrue(last.wait_for_events(lambda e: ("end", 9100) in e and ("end", 4000) in e, 5),
                        "the refused printer's connections are closed: %s" % last.events())
        for _ in range(127):
            self.assertEqual(1, driver.close_port(769))

    def test_stale_and_never_opened_handles(self):
        for handle in (0, 257, 513, 769, 1025, -1):
            self.assertEqual((0, 0), driver.write(handle, b"x"), "write %d" % handle)
            self.assertEqual((0, b"\xee" * 137), driver.status(handle), "status %d" % handle)
            self.assertEqual(1, driver.close_port(handle), "close %d" % handle)


class LeakChecks(unittest.TestCase):
    def test_the_handle_count_sees_a_planted_leak(self):
        with wine_env.Driver() as other:
            before = other.handles()
            self.assertTrue(other.plant_leak())
            self.assertEqual(before + 1, other.handles(), "one event kept open must show in the count")

    def test_soak_of_receipts_and_status_queries(self):
        cycles = 300
        serial = SerialPrinter()
        serial.link(wine_env.PREFIX, 18)
        self.addCleanup(serial.close)
        network = NetworkPrinter("127.0.6.3")
        self.addCleanup(network.close)
        receipt = b"\x1b@SOAK RECEIPT\n" + b"1 x coffee      2.50\n" * 8 + b"\x1dV\x00"
        before = driver.handles()
        for cycle in range(cycles):
            for port_type, parameters, expected in ((2, [18, 1], 513), (3, [127, 0, 6, 3], 769)):
                handle = driver.open(port_type, parameters, 500)
                self.assertEqual(expected, handle, "cycle %d, port type %d" % (cycle, port_type))
                self.assertEqual((1, len(receipt)), driver.write(handle, receipt))
                self.assertEqual(1, driver.status(handle)[0], "cycle %d, port type %d" % (cycle, port_type))
                self.assertEqual(1, driver.close_port(handle))
        after = settled_handles(before)
        print("soak: %d cycles each on serial and network, kernel handles %d before and %d after"
              % (cycles, before, after))
        self.assertLessEqual(after, before)
        for name, recorder in (("serial", serial.recorder), ("network", network.data)):
            self.assertTrue(recorder.wait_for(lambda r: bytes(r.received).count(receipt) == cycles, 10),
                            "%s: %d of %d receipts arrived whole"
                            % (name, bytes(recorder.received).count(receipt), cycles))


class Processes(unittest.TestCase):
    def test_no_wine_process_outlives_its_driver(self):
        with wine_env.Driver() as other:
            self.assertEqual(0, other.open(2, [99, 1], 100))
        time.sleep(0.5)
        left = subprocess.run(["pgrep", "-f", "port_driver.exe"], capture_output=True, text=True).stdout.split()
        self.assertEqual(1, len(left), "only the module's own driver is still running: %s" % left)
