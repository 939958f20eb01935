import termios
import time
import unittest

import wine_env
from virtual_printer import SerialPrinter

driver = wine_env.shared_driver


class SerialPort(unittest.TestCase):
    def printer(self, com, **options):
        printer = SerialPrinter(**options)
        printer.link(wine_env.PREFIX, com)
        self.addCleanup(printer.close)
        return printer

    def assert_line(self, printer, speed):
        iflag, _, cflag, _, ispeed, ospeed, _ = printer.line_settings()
        self.assertEqual((speed, speed), (ispeed, ospeed), "line speed")
        self.assertEqual(termios.CS8, cflag & termios.CSIZE, "8 data bits")
        self.assertFalse(cflag & termios.PARENB, "no parity")
        self.assertFalse(cflag & termios.CSTOPB, "one stop bit")
        self.assertFalse(cflag & termios.CRTSCTS, "no hardware flow control")
        self.assertFalse(iflag & (termios.IXON | termios.IXOFF), "no XON/XOFF")

    def test_opens_at_the_indexed_speed_with_8n1(self):
        printer = self.printer(3)
        for speed_index, speed in ((1, termios.B9600), (4, termios.B115200)):
            handle = driver.open(2, [3, speed_index], 500)
            self.assertEqual(513, handle, "speed index %d" % speed_index)
            self.assert_line(printer, speed)
            self.assertEqual(1, driver.close_port(handle))

    def test_every_byte_arrives_in_order_and_the_count_comes_back(self):
        printer = self.printer(5)
        handle = driver.open(2, [5, 2], 500)
        self.assertEqual(513, handle)
        job = bytes(range(256)) * 4
        self.assertEqual((1, len(job)), driver.write(handle, job))
        self.assertTrue(printer.recorder.wait_for(lambda r: len(r.received) >= len(job), 10),
                        "printer received %d of %d bytes" % (len(printer.recorder.received), len(job)))
        self.assertEqual(job, bytes(printer.recorder.received))
        self.assertEqual((1, 8), driver.write(handle, b"0123456789", 2, 10), "from shortens the count")
        self.assertTrue(printer.recorder.wait_for(lambda r: len(r.received) >= len(job) + 8, 10))
        self.assertEqual(b"01234567", bytes(printer.recorder.received[len(job):]))
        driver.close_port(handle)
        self.assertTrue(driver.jni_clean())

    def test_answers_come_back_on_the_data_path_and_status_still_waits_its_timeout(self):
        self.printer(11)
        handle = driver.open(2, [11, 1], 500)
        self.assertEqual(513, handle)
        driver.write(handle, b"job\n\x1d(H\x06\x00" + b"00" + b"0042")
        self.assertEqual((7, b'7"0042\x00'), driver.data(handle, 64, 5000))
        started = time.monotonic()
        self.assertEqual((0, b""), driver.data(handle, 64, 300), "nothing more came")
        self.assertGreater(time.monotonic() - started, 0.25)
        status, _ = driver.status(handle)
        self.assertEqual(1, status, "the status exchange has its time-outs back")
        driver.close_port(handle)
        self.assertEqual((-1, b""), driver.data(handle, 64, 100), "closed: gone")
        self.assertTrue(driver.jni_clean())

    def test_port_ten_and_above_open_through_the_device_namespace(self):
        printer = self.printer(10)
        handle = driver.open(2, [10, 1], 500)
        self.assertEqual(513, handle)
        self.assertEqual((1, 3), driver.write(handle, b"abc"))
        self.assertTrue(printer.recorder.wait_for(lambda r: r.received == b"abc", 10))
        driver.close_port(handle)

    def test_a_closed_port_opens_again_and_handles_shift(self):
        self.printer(6)
        second = self.printer(7)
        self.assertEqual(513, driver.open(2, [6, 1], 500))
        self.assertEqual(514, driver.open(2, [7, 1], 500))
        self.assertEqual(1, driver.close_port(513))
        self.assertEqual((1, 2), driver.write(513, b"hi"), "513 now names COM7")
        self.assertTrue(second.recorder.wait_for(lambda r: r.received == b"hi", 10))
        self.assertEqual(514, driver.open(2, [6, 1], 500), "COM6 opens again")
        self.assertEqual(1, driver.close_port(514))
        self.assertEqual(1, driver.close_port(513))
        self.assertEqual((0, 0), driver.write(513, b"x"))

    def test_missing_port_and_bad_arguments_fail(self):
        self.assertEqual(0, driver.open(2, [42, 1], 500), "no COM42")
        self.printer(8)
        self.assertEqual(0, driver.open(2, [8, 5], 500), "speed index 5")
        self.assertEqual(0, driver.open(2, [8], 500), "short parameter array")
        self.assertEqual((0, 0), driver.write(513, b"x"), "nothing open")
        self.assertTrue(driver.jni_clean())
