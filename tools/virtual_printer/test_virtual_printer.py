"""The virtual printer is the oracle of the end-to-end suite, so its own
answers are checked byte for byte here, without Wine."""

import os
import select
import socket
import time
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
        chunk = os.read(fd, count - len(data)) if ready else b""
        if not chunk:
            break
        data += chunk
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


PROCESS_ID = b"\x1d(H\x06\x00" + b"00" + b"0001"  # GS ( H pL pH fn=48 m=48, ID "0001"
ANSWER = b"7\"0001\x00"
STATUS_BACK = b"\x1da\x0f"  # GS a 15: every event
LINES = b"".join(b"line %d\n" % n for n in range(1, 7))


def paper_lines(printer):
    return bytes(printer.mechanism.paper).count(b"\n")


class Mechanism(unittest.TestCase):
    """Processing in order: speed, paper, power, and answers that wait for it."""

    def serial(self, **knobs):
        printer = SerialPrinter(**knobs)
        self.addCleanup(printer.close)
        return printer

    def test_in_order_answer_comes_when_processing_reaches_it(self):
        printer = self.serial(lines_per_second=10)
        started = time.monotonic()
        os.write(printer.slave, LINES + PROCESS_ID)
        self.assertEqual(ANSWER, read_exactly(printer.slave, len(ANSWER), 5))
        self.assertGreater(time.monotonic() - started, 0.5, "six lines at 10 per second")
        self.assertEqual(LINES, bytes(printer.mechanism.paper), "the request does not reach the paper")

    def test_paper_out_mid_job_stops_processing_until_loaded(self):
        printer = self.serial(paper_lines=3)
        os.write(printer.slave, STATUS_BACK + LINES + PROCESS_ID)
        self.assertEqual(b"\x10\x00\x00\x00", read_exactly(printer.slave, 4), "status back enabled: online")
        self.assertEqual(b"\x18\x00\x0c\x00", read_exactly(printer.slave, 4), "status back: paper end")
        self.assertEqual(b"", read_exactly(printer.slave, 1, 0.5), "no answer while the paper is out")
        self.assertEqual(3, paper_lines(printer))
        printer.mechanism.set_fault(paper_end=False)
        self.assertEqual(b"\x10\x00\x00\x00" + ANSWER, read_exactly(printer.slave, 4 + len(ANSWER)))
        self.assertEqual(LINES, bytes(printer.mechanism.paper))

    def test_full_buffer_stops_taking_data(self):
        printer = self.serial(paper_lines=1, buffer_size=64)
        os.set_blocking(printer.slave, False)
        sent = 0
        try:
            for _ in range(200):
                sent += os.write(printer.slave, b"x" * 63 + b"\n")
        except BlockingIOError:
            pass
        time.sleep(0.3)
        self.assertLess(len(printer.recorder.received), sent, "the line backs up")
        self.assertEqual(1, paper_lines(printer))

    def test_faults_written_into_a_job(self):
        cases = [
            # fault line, what reaches the paper, the bytes answered
            (b"#fault off 300\n", b"line 1\nline 2\n", b""),
            (b"#fault mute\n", LINES, b""),
            (b"#fault cover 300\n", LINES, ANSWER),
            (b"#fault paper-out 300\n", LINES, ANSWER),
        ]
        for fault, paper, answered in cases:
            with self.subTest(fault=fault):
                printer = self.serial(lines_per_second=50)
                os.write(printer.slave, LINES[:14] + fault + LINES[14:] + PROCESS_ID)
                self.assertEqual(answered, read_exactly(printer.slave, len(ANSWER), 1.5))
                self.assertEqual(paper, bytes(printer.mechanism.paper))

    def test_switched_off_printer_answers_nothing_and_comes_back_without_status_back(self):
        printer = self.serial()
        printer.mechanism.switch(False)
        os.write(printer.slave, STATUS_BACK + b"lost\n\x10\x04\x01" + PROCESS_ID)
        self.assertEqual(b"", read_exactly(printer.slave, 1, 0.5))
        printer.mechanism.switch(True)
        os.write(printer.slave, b"kept\n" + PROCESS_ID)
        self.assertEqual(ANSWER, read_exactly(printer.slave, len(ANSWER)))
        self.assertEqual(b"kept\n", bytes(printer.mechanism.paper))

    def test_network_printer_answers_and_reports_on_the_data_connection(self):
        printer = NetworkPrinter("127.0.8.9", paper_lines=2)
        self.addCleanup(printer.close)
        with socket.create_connection(("127.0.8.9", 9100), timeout=2) as data:
            data.sendall(STATUS_BACK + LINES + PROCESS_ID)
            self.assertEqual(b"\x10\x00\x00\x00\x18\x00\x0c\x00", read_exactly(data.fileno(), 8))
            printer.mechanism.set_fault(paper_end=False)
            self.assertEqual(b"\x10\x00\x00\x00" + ANSWER, read_exactly(data.fileno(), 4 + len(ANSWER)))
            data.sendall(b"#fault close\n")
            self.assertEqual(b"", read_exactly(data.fileno(), 1), "closed by the printer")

    def test_switched_off_network_printer_resets_connections(self):
        printer = NetworkPrinter("127.0.8.9")
        self.addCleanup(printer.close)
        with socket.create_connection(("127.0.8.9", 9100), timeout=2) as data:
            data.sendall(b"#fault off 5000\n")
            with self.assertRaises(ConnectionResetError):
                for _ in range(100):
                    time.sleep(0.05)
                    data.sendall(b"more\n")
        self.assertEqual(b"", bytes(printer.mechanism.paper))


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
