import time
import unittest

import wine_env
from virtual_printer import NetworkPrinter, PrinterState, SerialPrinter

driver = wine_env.shared_driver


def flags(status):
    """cover, offline, cutter, paper end, near end / count."""
    return "%d%d%d%d%d/%d" % (status[0], status[1], status[2], status[5], status[6], status[8])


def caller_bytes_kept(test, status):
    test.assertEqual((0xEE, 0xEE, 0xEE), (status[3], status[4], status[7]))


class SerialStatus(unittest.TestCase):
    def open(self, com, timeout_ms=500, **options):
        printer = SerialPrinter(**options)
        printer.link(wine_env.PREFIX, com)
        self.addCleanup(printer.close)
        handle = driver.open(2, [com, 1], timeout_ms)
        self.assertGreater(handle, 512)
        self.addCleanup(driver.close_port, handle)
        return printer, handle

    def test_answers_to_the_four_requests(self):
        for answers, expected in ((b"\x16\x12\x12\x12", "00000/4"), (b"\x1e\x16\x12\x7e", "11011/4")):
            printer, handle = self.open(11, answers=answers)
            result, status = driver.status(handle)
            self.assertEqual(1, result, answers.hex())
            self.assertEqual(expected, flags(status), answers.hex())
            self.assertEqual(answers, status[9:13])
            self.assertEqual(b"\xee" * (137 - 13), status[13:])
            caller_bytes_kept(self, status)
            self.assertEqual(b"\x10\x04\x01\x10\x04\x02\x10\x04\x03\x10\x04\x04", bytes(printer.recorder.received))

    def test_printer_state_reaches_the_flags(self):
        printer, handle = self.open(12, state=PrinterState(cover_open=True, paper_near_end=True))
        result, status = driver.status(handle)
        self.assertEqual((1, "11001/4"), (result, flags(status)))

    def test_silent_printer_fails_after_one_read_timeout(self):
        printer, handle = self.open(13, timeout_ms=500, silent_after=2)
        started = time.monotonic()
        result, status = driver.status(handle)
        elapsed = time.monotonic() - started
        self.assertEqual((0, b"\xee" * 137), (result, status))
        self.assertGreater(elapsed, 0.45)
        self.assertLess(elapsed, 2.5)

    def test_late_answer_is_purged_not_taken_for_the_next(self):
        printer, handle = self.open(14, timeout_ms=300, delay=0.6)
        self.assertEqual(0, driver.status(handle)[0], "the answer comes after the read time-out")
        time.sleep(0.5)  # the late byte is now waiting in the line
        printer.responder.delay = 0
        result, status = driver.status(handle)
        self.assertEqual((1, "00000/4"), (result, flags(status)))
        self.assertEqual(b"\x12\x12\x12\x12", status[9:13])


class NetworkStatus(unittest.TestCase):
    def open(self, address, **options):
        printer = NetworkPrinter(address, **options)
        self.addCleanup(printer.close)
        handle = driver.open(3, [int(p) for p in address.split(".")], 500)
        self.assertGreater(handle, 768)
        self.addCleanup(driver.close_port, handle)
        return printer, handle

    def test_status_replies(self):
        cases = ((b"\x08\x08\x0c", "01110/3"), (b"\x28", "11000/1"), (bytes(range(128)), None))
        for i, (reply, expected) in enumerate(cases):
            printer, handle = self.open("127.0.4.%d" % (i + 1), reply=reply)
            result, status = driver.status(handle)
            self.assertEqual(1, result, reply[:3].hex())
            if expected:
                self.assertEqual(expected, flags(status))
            self.assertEqual(len(reply) & 0xFF if len(reply) < 128 else 0x80, status[8])
            self.assertEqual(reply, status[9:9 + len(reply)])
            caller_bytes_kept(self, status)
            self.assertEqual(b"\x1bv\x00", bytes(printer.status.received))
            self.assertEqual(b"", bytes(printer.data.received), "nothing on the data connection")

    def test_printer_state_reaches_the_flags(self):
        printer, handle = self.open("127.0.4.10", state=PrinterState(cover_open=True, paper_near_end=True))
        result, status = driver.status(handle)
        self.assertEqual((1, "11001/3"), (result, flags(status)))

    def test_silent_printer_fails_and_a_closed_status_connection_is_made_again(self):
        printer, handle = self.open("127.0.4.11", silent_after=0)
        started = time.monotonic()
        self.assertEqual((0, b"\xee" * 137), driver.status(handle))
        self.assertLess(time.monotonic() - started, 3.0, "bounded by the receive time-out")
        printer, handle = self.open("127.0.4.12", close_after=1)
        self.assertEqual(1, driver.status(handle)[0])
        self.assertTrue(printer.wait_for_events(lambda e: ("end", 4000) in e, 5), "the printer closes: %s"
                        % printer.events())
        self.assertEqual(1, driver.status(handle)[0], "asked again on a new status connection")
        self.assertEqual(2, printer.events().count(("accept", 4000)))

    def test_each_printer_is_asked_on_its_own_connection(self):
        self.open("127.0.4.13", state=PrinterState(cover_open=True))
        self.open("127.0.4.14", state=PrinterState(paper_end=True))
        self.assertEqual("11000/3", flags(driver.status(769)[1]))
        self.assertEqual("01010/3", flags(driver.status(771)[1]))


class ShortArrays(unittest.TestCase):
    def test_short_arrays(self):
        printer = SerialPrinter(answers=b"\x1e\x16\x12\x7e")
        printer.link(wine_env.PREFIX, 15)
        self.addCleanup(printer.close)
        handle = driver.open(2, [15, 1], 500)
        self.addCleanup(driver.close_port, handle)
        self.assertEqual((0, b"\xee" * 8), driver.status(handle, length=8))
        result, status = driver.status(handle, length=11)
        self.assertEqual((1, "11011/4", b"\x1e\x16"), (result, flags(status), status[9:]))
        self.assertEqual((0, b"\xee" * 137), driver.status(0), "handle 0 from a failed open")
        self.assertTrue(driver.jni_clean())
