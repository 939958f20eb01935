"""The virtual printer is the oracle of the end-to-end suite, so its own
answers are checked byte for byte here, without Wine."""

import os
import select
import socket
import unittest

from virtual_printer import NetworkPrinter, PrinterState, SerialPrinter, render

STATES = {
    # state: (DLE EOT 1, 2, 3, 4 answers, ESC v answer)
    "online": (b"\x12\x12\x12\x12", b"\x10\x00\x00"),
    "offline": (b"\x1a\x12\x12\x12", b"\x18\x00\x00"),
    "cover-open": (b"\x1a\x16\x12\x12", b"\x38\x00\x00"),
    "paper-near-end": (b"\x12\x12\x12\x1e", b"\x10\x00\x03"),
    "paper-end": (b"\x1a\x32\x12\x72", b"\x18\x00\x0c"),
    "cutter-error": (b"\x12\x52\x1a\x12", b"\x10\x08\x00"),
}


def read_exactly(fd, count, timeout=2.0):
    data = b""
    while len(data) < count:
        ready, _, _ = select.select([fd], [], [], timeout)
        if not ready:
            break
        data += os.read(fd, count - len(data))
    return data


class Answers(unittest.TestCase):
    def test_status_bytes_per_state(self):
        for name, (real_time, status_back) in STATES.items():
            state = PrinterState.parse(name)
            self.assertEqual(real_time, bytes(state.real_time_status(n) for n in range(1, 5)), name)
            self.assertEqual(status_back, state.status_back(), name)

    def test_unknown_state_is_refused(self):
        with self.assertRaises(ValueError):
            PrinterState.parse("cover-closed")

    def test_serial_printer_answers_each_request_on_the_line(self):
        printer = SerialPrinter(PrinterState.parse("cover-open"))
        self.addCleanup(printer.close)
        for n, expected in zip(range(1, 5), STATES["cover-open"][0]):
            os.write(printer.slave, b"\x10\x04" + bytes([n]))
            self.assertEqual(bytes([expected]), read_exactly(printer.slave, 1), "DLE EOT %d" % n)
        os.write(printer.slave, b"text \x10\x04\x07 more")
        self.assertEqual(b"", read_exactly(printer.slave, 1, 0.3), "no answer to print data or DLE EOT 7")

    def test_serial_printer_goes_silent_after_k_answers(self):
        printer = SerialPrinter(silent_after=2)
        self.addCleanup(printer.close)
        os.write(printer.slave, b"\x10\x04\x01\x10\x04\x02\x10\x04\x03")
        self.assertEqual(b"\x12\x12", read_exactly(printer.slave, 3, 0.5))
        self.assertTrue(printer.recorder.wait_for(lambda r: len(r.received) == 9, 2))

    def test_network_printer_answers_on_the_status_connection_only(self):
        printer = NetworkPrinter("127.0.8.1", PrinterState.parse("paper-end"))
        self.addCleanup(printer.close)
        with socket.create_connection(("127.0.8.1", 9100), timeout=2) as data, \
                socket.create_connection(("127.0.8.1", 4000), timeout=2) as status:
            data.sendall(b"\x1bv\x00\x10\x04\x01receipt")
            status.sendall(b"\x1bv\x00")
            self.assertEqual(STATES["paper-end"][1], status.recv(16))
            data.settimeout(0.3)
            with self.assertRaises(socket.timeout):
                data.recv(16)
        self.assertTrue(printer.data.wait_for(lambda r: r.received == b"\x1bv\x00\x10\x04\x01receipt", 2))
        self.assertTrue(printer.wait_for_events(lambda e: e.count(("end", 9100)) == 1, 2))

    def test_network_printer_reply_knobs(self):
        printer = NetworkPrinter("127.0.8.2", reply=bytes(range(128)), close_after=1)
        self.addCleanup(printer.close)
        with socket.create_connection(("127.0.8.2", 4000), timeout=2) as status:
            status.sendall(b"\x1bv\x00")
            reply = b""
            while len(reply) < 128:
                reply += status.recv(256)
            self.assertEqual(bytes(range(128)), reply)
            self.assertEqual(b"", status.recv(16), "closed after one answer")


class Rendering(unittest.TestCase):
    def test_text_alignment_emphasis_and_cut(self):
        job = b"\x1b@\x1ba\x01\x1bE\x01TITLE\n\x1bE\x00\x1ba\x00left\n\x1ba\x02right\n\x10\x04\x01\x1dVB\x00"
        lines = render(job, width=20).splitlines()
        self.assertEqual("     **TITLE**", lines[0])
        self.assertEqual("left", lines[1])
        self.assertEqual("               right", lines[2])
        self.assertIn("8< cut", lines[3])
        self.assertEqual(4, len(lines), "the status request prints nothing")


if __name__ == "__main__":
    unittest.main()
