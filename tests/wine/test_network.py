import time
import unittest

import wine_env
from virtual_printer import NetworkPrinter

driver = wine_env.shared_driver
REPEATS = 5  # refused connects under Wine are not deterministic; each case runs several times


def octets(address):
    return [int(part) for part in address.split(".")]


class NetworkPort(unittest.TestCase):
    def printer(self, address, **options):
        printer = NetworkPrinter(address, **options)
        self.addCleanup(printer.close)
        return printer

    def tearDown(self):
        # No case holds more than two printers; a case that fails half-way must
        # not leave them in the table, where they would shift the next case's handles.
        for _ in range(2):
            driver.close_port(769)

    def timed_open(self, address, timeout_ms=500):
        started = time.monotonic()
        handle = driver.open(3, octets(address), timeout_ms)
        return handle, time.monotonic() - started

    def assert_open_fails_quickly(self, address, after_each=lambda attempt: None):
        for attempt in range(REPEATS):
            handle, elapsed = self.timed_open(address, 400)
            self.assertEqual(0, handle, "attempt %d" % attempt)
            self.assertLess(elapsed, 3.0)
            after_each(attempt)

    def test_confirmations_come_back_on_the_data_connection_and_a_close_reads_as_gone(self):
        cases = [
            # fault line in the job, the data read's result
            (b"", 7),
            (b"#fault mute\n", 0),
            (b"#fault close\n", -1),
        ]
        self.printer("127.0.3.30", lines_per_second=100)
        for fault, expected in cases:
            handle = driver.open(3, octets("127.0.3.30"), 1000)
            self.assertEqual(769, handle, fault)
            driver.write(handle, b"job\n" + fault + b"end\n\x1d(H\x06\x00" + b"00" + b"0042")
            result, answer = driver.data(handle, 64, 1500)
            self.assertEqual(expected, result, fault)
            if expected > 0:
                self.assertEqual(b'7"0042\x00', answer)
            driver.close_port(handle)
        self.assertTrue(driver.jni_clean())

    def test_opens_both_connections_and_writes_on_data_only(self):
        # The printer accepts each port on its own thread, so the order in which it
        # accepts says nothing about the order of the connects; the unit tests
        # check that the status connection is only tried once the data connection is up.
        printer = self.printer("127.0.3.1")
        for attempt in range(REPEATS):
            handle, _ = self.timed_open("127.0.3.1")
            self.assertEqual(769, handle, "attempt %d" % attempt)
            accepted = attempt + 1
            self.assertTrue(printer.wait_for_events(lambda e: e.count(("accept", 9100)) == accepted and
                                                    e.count(("accept", 4000)) == accepted, 5),
                            "one data and one status connection per open: %s" % printer.events())
            job = b"\x1b@receipt %d\n" % attempt
            self.assertEqual((1, len(job)), driver.write(handle, job))
            self.assertTrue(printer.data.wait_for(lambda r: r.received.endswith(job), 5))
            self.assertEqual(1, driver.close_port(handle))
            self.assertTrue(printer.wait_for_events(lambda e: e.count(("end", 9100)) == attempt + 1 and
                                                    e.count(("end", 4000)) == attempt + 1, 5),
                            "the printer sees both connections end: %s" % printer.events())
        self.assertEqual(b"", bytes(printer.status.received), "no print data on the status connection")

    def test_nothing_listening_fails_within_the_timeout(self):
        self.assert_open_fails_quickly("127.0.3.2")

    def test_status_port_alone_is_not_a_printer(self):
        printer = self.printer("127.0.3.3", listen_data=False)
        self.assert_open_fails_quickly("127.0.3.3")
        self.assertEqual([], printer.events(), "no status connection is tried without a data connection")

    def test_data_port_alone_leaves_no_connection_open(self):
        printer = self.printer("127.0.3.4", listen_status=False)

        def data_connection_closed(attempt):
            self.assertTrue(printer.wait_for_events(lambda e: e.count(("end", 9100)) == attempt + 1, 5),
                            "the data connection is closed again: %s" % printer.events())

        self.assert_open_fails_quickly("127.0.3.4", data_connection_closed)
        self.assertEqual((0, 0), driver.write(769, b"x"), "no handle names a connection")

    def test_two_printers_are_closed_independently(self):
        first = self.printer("127.0.3.5")
        second = self.printer("127.0.3.6")
        self.assertEqual(769, driver.open(3, octets("127.0.3.5")))
        self.assertEqual(771, driver.open(3, octets("127.0.3.6")))
        self.assertEqual(1, driver.close_port(769))
        self.assertTrue(first.wait_for_events(lambda e: e.count(("end", 9100)) == 1 and e.count(("end", 4000)) == 1, 5))
        self.assertEqual((1, 3), driver.write(769, b"two"), "the second printer moved down to 769")
        self.assertTrue(second.data.wait_for(lambda r: r.received == b"two", 5))
        self.assertNotIn(("end", 4000), second.events(), "the second printer keeps its status connection")
        self.assertEqual(1, driver.close_port(769))
        self.assertTrue(driver.jni_clean())

    def test_connections_the_printer_closed_while_idle_are_made_again(self):
        # Also when the printer sent something first (a status block after
        # each job's first bytes), which must not hide its close.
        for address, talk_back in (("127.0.3.8", None), ("127.0.3.9", b"\x14\x00\x00\x0f")):
            printer = self.printer(address, idle_close_ms=300, talk_back=talk_back)
            self.assertEqual(769, driver.open(3, octets(address), 1000))
            jobs = [b"before the pause\n", b"after the first pause\n", b"after the second pause\n"]
            self.assertEqual((1, len(jobs[0])), driver.write(769, jobs[0]))
            for job in jobs[1:]:
                time.sleep(0.8)
                self.assertEqual(1, driver.status(769)[0], "status after a pause")
                time.sleep(0.8)
                self.assertEqual((1, len(job)), driver.write(769, job))
            self.assertTrue(printer.data.wait_for(lambda r: bytes(r.received) == b"".join(jobs), 5),
                            "each job arrives once (talk back %r): %r" % (talk_back, bytes(printer.data.received)))
            self.assertEqual(1, driver.close_port(769))

    def test_library_starts_winsock_when_the_host_did_not(self):
        printer = self.printer("127.0.3.7")
        with wine_env.Driver(winsock=False) as host_without_winsock:
            handle = host_without_winsock.open(3, octets("127.0.3.7"))
            self.assertEqual(769, handle)
            self.assertEqual((1, 5), host_without_winsock.write(handle, b"Hello"))
            self.assertEqual(1, host_without_winsock.close_port(handle))
        self.assertTrue(printer.data.wait_for(lambda r: r.received == b"Hello", 5))
