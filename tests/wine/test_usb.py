import unittest

import wine_env


class UsbPort(unittest.TestCase):
    def test_no_usb_printer_means_no_handle(self):
        with wine_env.Driver() as driver:
            self.assertEqual(0, driver.open(1, []))
            self.assertEqual((0, 0), driver.write(257, b"x"))
            self.assertEqual(1, driver.close_port(257))
            self.assertEqual((0, b"\xee" * 137), driver.status(257))
            self.assertTrue(driver.jni_clean())

    def test_reserved_entry_points_answer_fixed_values(self):
        with wine_env.Driver() as driver:
            self.assertEqual(["read", "0"], driver.call("read 513"))
            self.assertEqual(["reset", "1"], driver.call("reset 513"))
            self.assertEqual(0, driver.open(4, [3, 1]), "port type 4")
