#!/usr/bin/env python3
"""A virtual ESC/POS receipt printer for tests and demos.

It plays a printer on a pseudo-terminal (linked as comN in a Wine prefix, so
that a Windows program opens it as "COMn") and on a loopback address (print
data on TCP 9100, status on TCP 4000). It answers the real-time status
requests DLE EOT 1-4 on the serial line and ESC v on the status connection
from a printer state, records every byte it receives and renders the job as
the paper would show it. Like a real printer it never answers on the data
connection.
"""

import argparse
import os
import select
import signal
import socket
import struct
import sys
import termios
import threading
import time
import tty

DLE, EOT, ESC, GS, LF = 0x10, 0x04, 0x1B, 0x1D, 0x0A
PAPER_WIDTH = 42


class PrinterState:
    """What the printer reports about itself."""

    FLAGS = ("offline", "cover-open", "paper-near-end", "paper-end", "cutter-error")

    def __init__(self, offline=False, cover_open=False, paper_near_end=False, paper_end=False,
                 cutter_error=False):
        self.offline = offline
        self.cover_open = cover_open
        self.paper_near_end = paper_near_end
        self.paper_end = paper_end
        self.cutter_error = cutter_error

    @classmethod
    def parse(cls, text):
        """'online' or a comma list of FLAGS, e.g. 'cover-open,paper-near-end'."""
        state = cls()
        for flag in filter(None, (text or "online").split(",")):
            if flag == "online":
                continue
            if flag not in cls.FLAGS:
                raise ValueError("unknown printer state %r (known: online, %s)" % (flag, ", ".join(cls.FLAGS)))
            setattr(state, flag.replace("-", "_"), True)
        return state

    def real_time_status(self, n):
        """The byte a printer answers to DLE EOT n. Bits 1 and 4 are always set."""
        base = 0x12
        if n == 1:
            # Printer status: a cover left open or paper out takes it offline.
            return base | (0x08 if self.offline or self.cover_open or self.paper_end else 0)
        if n == 2:
            return base | (0x04 if self.cover_open else 0) | (0x20 if self.paper_end else 0) | \
                (0x40 if self.cutter_error else 0)
        if n == 3:
            return base | (0x08 if self.cutter_error else 0)
        if n == 4:
            return base | (0x0C if self.paper_near_end else 0) | (0x60 if self.paper_end else 0)
        raise ValueError("DLE EOT %d is not a status request" % n)

    def status_back(self):
        """The three bytes answered on the status connection (ASB layout)."""
        first = 0x10 | (0x08 if self.offline or self.cover_open or self.paper_end else 0) | \
            (0x20 if self.cover_open else 0)
        second = 0x08 if self.cutter_error else 0
        third = (0x03 if self.paper_near_end else 0) | (0x0C if self.paper_end else 0)
        return bytes([first, second, third])


class Recorder:
    """Bytes and events seen by one printer, with waits bounded in time."""

    def __init__(self, record_path=None):
        self._lock = threading.Condition()
        self.received = bytearray()
        self.events = []
        self._record = open(record_path, "ab") if record_path else None

    def add_bytes(self, data):
        with self._lock:
            self.received += data
            if self._record:
                self._record.write(data)
                self._record.flush()
            self._lock.notify_all()

    def add_event(self, event):
        with self._lock:
            self.events.append(event)
            self._lock.notify_all()

    def snapshot_events(self):
        with self._lock:
            return list(self.events)

    def wait_for(self, predicate, timeout):
        """Waits until predicate(self) holds; returns whether it did."""
        deadline = time.monotonic() + timeout
        with self._lock:
            while not predicate(self):
                left = deadline - time.monotonic()
                if left <= 0:
                    return False
                self._lock.wait(left)
            return True

    def close(self):
        if self._record:
            self._record.close()


class Responder:
    """Answers status requests found in a byte stream, one at a time, with the
    test knobs: a fixed reply, silence after k answers, a delay, a hang-up."""

    def __init__(self, state, reply=None, silent_after=None, delay=0.0, close_after=None):
        self.state = state
        self.reply = reply
        self.silent_after = silent_after
        self.delay = delay
        self.close_after = close_after
        self.answered = 0

    def take_turn(self):
        """Whether to answer the request just seen; an answer is counted and
        waits out the delay before it is sent."""
        if self.silent_after is not None and self.answered >= self.silent_after:
            return False
        self.answered += 1
        if self.delay:
            time.sleep(self.delay)
        return True

    def should_close(self):
        return self.close_after is not None and self.answered >= self.close_after


class SerialPrinter:
    """A printer on a pseudo-terminal; `link(prefix, n)` makes it COMn in Wine."""

    def __init__(self, state=None, record_path=None, answers=None, stall_after=None, stall_for=0.0, previews=None,
                 **knobs):
        self.master, self.slave = os.openpty()
        self.previews = previews  # a receipt_image.PreviewFolder, or None
        # A printer that stops taking data (out of paper, say): after
        # stall_after bytes it reads nothing for stall_for seconds.
        self.stall_after = stall_after
        self.stall_for = stall_for
        tty.setraw(self.master)
        self.tty_path = os.ttyname(self.slave)
        self.recorder = Recorder(record_path)
        self.responder = Responder(state or PrinterState(), **knobs)
        self.answers = answers  # optional bytes answering DLE EOT 1..4 in turn
        self._links = []
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._serve, daemon=True)
        self._thread.start()

    def link(self, prefix, port_number):
        link = os.path.join(prefix, "dosdevices", "com%d" % port_number)
        if os.path.lexists(link):
            os.unlink(link)
        os.symlink(self.tty_path, link)
        self._links.append(link)
        return link

    def line_settings(self):
        """termios attributes of the line as the Windows side left them."""
        return termios.tcgetattr(self.slave)

    def send(self, data):
        os.write(self.master, data)

    def _answer(self, n):
        if not self.responder.take_turn():
            return
        if self.answers is not None:
            byte = self.answers[(n - 1) % len(self.answers)]
        else:
            byte = self.responder.state.real_time_status(n)
        os.write(self.master, bytes([byte]))

    def _serve(self):
        pending = b""
        while not self._stop.is_set():
            ready, _, _ = select.select([self.master], [], [], 0.05)
            if not ready:
                continue
            try:
                data = os.read(self.master, 4096)
            except OSError:
                continue
            self.recorder.add_bytes(data)
            if self.previews is not None:
                self.previews.add(data)
            if self.stall_after is not None and len(self.recorder.received) >= self.stall_after:
                self.stall_after = None
                self._stop.wait(self.stall_for)
            pending += data
            while True:
                at = pending.find(bytes([DLE, EOT]))
                if at < 0 or at + 2 >= len(pending):
                    pending = pending[at:] if at >= 0 else pending[-1:]
                    break
                n = pending[at + 2]
                pending = pending[at + 3:]
                if 1 <= n <= 4:
                    self._answer(n)

    def close(self):
        self._stop.set()
        self._thread.join(timeout=2)
        if self.previews is not None:
            self.previews.end()
        for link in self._links:
            if os.path.lexists(link):
                os.unlink(link)
        os.close(self.master)
        os.close(self.slave)
        self.recorder.close()


class NetworkPrinter:
    """A printer on ip:9100 (data) and ip:4000 (status)."""

    DATA_PORT = 9100
    STATUS_PORT = 4000

    def __init__(self, address, state=None, record_path=None, listen_data=True, listen_status=True,
                 accept_data=True, reset_after=None, idle_close_ms=None, previews=None, **knobs):
        self.address = address
        self.previews = previews  # a receipt_image.PreviewFolder, or None
        self.reset_after = reset_after  # reset the data connection after this many bytes
        self.idle_close_ms = idle_close_ms  # close a connection idle this long, as many printers do
        self.data = Recorder(record_path)
        self.status = Recorder()
        self.responder = Responder(state or PrinterState(), **knobs)
        self.accept_data = accept_data
        self._stop = threading.Event()
        self._sockets = []
        self._threads = []
        if listen_data:
            self._listen(self.DATA_PORT, self._serve_data)
        if listen_status:
            self._listen(self.STATUS_PORT, self._serve_status)

    def _listen(self, port, serve):
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind((self.address, port))
        # A full backlog drops a SYN, and the client retries only after a
        # second: long enough to fail an open with a 1 s time-out.
        listener.listen(socket.SOMAXCONN)
        listener.settimeout(0.05)
        self._sockets.append(listener)
        thread = threading.Thread(target=self._accept_loop, args=(listener, port, serve), daemon=True)
        thread.start()
        self._threads.append(thread)

    def _note(self, event):
        """Connection events of both ports, ("accept" | "end", port), in order."""
        self.data.add_event(event)

    def _accept_loop(self, listener, port, serve):
        while not self._stop.is_set():
            try:
                connection, _ = listener.accept()
            except (socket.timeout, OSError):
                continue
            self._note(("accept", port))
            self._sockets.append(connection)
            thread = threading.Thread(target=self._run, args=(connection, port, serve), daemon=True)
            thread.start()
            self._threads.append(thread)

    def _run(self, connection, port, serve):
        connection.settimeout(0.05)
        try:
            serve(connection)
        finally:
            try:
                connection.close()
            except OSError:
                pass
            self._note(("end", port))

    def _receive(self, connection):
        """Next chunk, b'' at end of stream or after the idle time, None when stopping."""
        idle_since = time.monotonic()
        while not self._stop.is_set():
            try:
                return connection.recv(65536)
            except socket.timeout:
                if self.idle_close_ms is not None and time.monotonic() - idle_since > self.idle_close_ms / 1000:
                    return b""
                continue
            except OSError:
                return b""
        return None

    def _serve_data(self, connection):
        if not self.accept_data:
            # A printer that accepts but never reads: the window fills up.
            while not self._stop.is_set():
                time.sleep(0.05)
            return
        while True:
            data = self._receive(connection)
            if not data:
                if self.previews is not None:
                    self.previews.end()
                return
            self.data.add_bytes(data)
            if self.previews is not None:
                self.previews.add(data)
            if self.reset_after is not None and len(self.data.received) >= self.reset_after:
                # A linger time of 0 makes close() send RST: the connection is reset, not ended.
                connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                return

    def _serve_status(self, connection):
        pending = b""
        responder = self.responder
        while True:
            data = self._receive(connection)
            if not data:
                return
            self.status.add_bytes(data)
            pending += data
            while bytes([ESC, 0x76]) in pending:
                at = pending.find(bytes([ESC, 0x76]))
                if len(pending) < at + 3:
                    break
                pending = pending[at + 3:]
                if not responder.take_turn():
                    continue
                connection.sendall(responder.reply if responder.reply is not None else responder.state.status_back())
                if responder.should_close():
                    return

    def events(self):
        return self.data.snapshot_events()

    def wait_for_events(self, predicate, timeout):
        return self.data.wait_for(lambda recorder: predicate(list(recorder.events)), timeout)

    def close(self):
        self._stop.set()
        for s in self._sockets:
            try:
                s.close()
            except OSError:
                pass
        for thread in self._threads:
            thread.join(timeout=2)
        self.data.close()


def render(job, width=PAPER_WIDTH):
    """Renders an ESC/POS job as the paper shows it: text lines aligned as
    set, **emphasised** text, and a mark where the paper is cut."""
    lines, line, align, bold = [], "", 0, False

    def flush():
        nonlocal line
        text = line.rstrip()
        if align == 1:
            text = text.center(width).rstrip()
        elif align == 2:
            text = text.rjust(width)
        lines.append(text)
        line = ""

    i = 0
    while i < len(job):
        byte = job[i]
        if byte == LF:
            if bold:
                line = line[:-2] if line.endswith("**") else line + "**"
            flush()
            if bold:
                line += "**"
            i += 1
        elif byte == ESC and i + 1 < len(job):
            command = job[i + 1]
            if command == ord("@"):
                align, bold = 0, False
                i += 2
            elif command == ord("a") and i + 2 < len(job):
                align = job[i + 2] % 48 if job[i + 2] >= 48 else job[i + 2]
                i += 3
            elif command == ord("E") and i + 2 < len(job):
                on = bool(job[i + 2] & 1)
                if on != bold:
                    # An emphasis that ends before any text was printed leaves no mark.
                    line = line[:-2] if not on and line.endswith("**") else line + "**"
                bold = on
                i += 3
            elif command == ord("d") and i + 2 < len(job):
                flush()
                lines.extend([""] * max(job[i + 2] - 1, 0))
                i += 3
            elif command in b"!-MtJ" and i + 2 < len(job):
                i += 3
            else:
                i += 2
        elif byte == GS and i + 2 < len(job):
            command = job[i + 1]
            if command == ord("V"):
                if line:
                    flush()
                lines.append("-" * (width // 2 - 4) + " 8< cut " + "-" * (width - width // 2 - 4))
                i += 4 if job[i + 2] in (65, 66) else 3
            else:
                i += 3
        elif byte == DLE and i + 2 < len(job) and job[i + 1] == EOT:
            i += 3  # a status request, not print data
        elif 0x20 <= byte < 0x7F:
            line += chr(byte)
            i += 1
        else:
            i += 1
    if line:
        flush()
    return "\n".join(lines)


SYSTEM_PYTHON = "/usr/bin/python3"


def drawing():
    """The receipt drawing module. It needs Debian's Pillow and qrcode, which
    install for the system's interpreter; when this one lacks them, the
    program runs itself again under that one."""
    try:
        import receipt_image
    except ImportError:
        if os.path.realpath(sys.executable) == os.path.realpath(SYSTEM_PYTHON) or not os.path.exists(SYSTEM_PYTHON):
            raise
        os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON, os.path.abspath(__file__)] + sys.argv[1:])
    return receipt_image


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--serial", type=int, metavar="N", help="play a printer on COMN of the Wine prefix")
    parser.add_argument("--prefix", default=os.environ.get("WINEPREFIX"), help="Wine prefix for --serial")
    parser.add_argument("--network", metavar="ADDRESS", help="play a printer on ADDRESS:9100 and ADDRESS:4000")
    parser.add_argument("--state", default="online",
                        help="online, or a comma list of: " + ", ".join(PrinterState.FLAGS))
    parser.add_argument("--record", metavar="FILE", help="append every byte received to FILE")
    parser.add_argument("--render", metavar="FILE", help="render a recorded job from FILE and exit")
    parser.add_argument("--png", metavar="OUT", help="with --render: draw the job as printed, into OUT")
    parser.add_argument("--png-dir", metavar="DIR", help="while serving: draw every job received as DIR/job-NNNN.png")
    parser.add_argument("--width", type=int, default=576, choices=(384, 512, 576),
                        help="paper width in dots for drawing (576 = 80 mm at 203 dpi, the default)")
    parser.add_argument("--profile", metavar="FILE",
                        help="draw as the printer of a receipt profile (java/net/vellamoor/printerio/receipt/"
                             "profiles/*.properties): its paper width, code pages and multibyte font")
    args = parser.parse_args(argv)
    width, model = args.width, None
    if args.profile:
        drawing()
        from character_sets import load_profile
        width, model = load_profile(args.profile)

    if args.render:
        with open(args.render, "rb") as job:
            data = job.read()
        if not args.png:
            print(render(data))
            return 0
        image, notes = drawing().render_job(data, width, model)
        image.save(args.png)
        for note in notes:
            print("virtual_printer: " + note, file=sys.stderr)
        return 0
    previews = drawing().PreviewFolder(args.png_dir, width, model) if args.png_dir else None
    if not args.serial and not args.network:
        parser.error("nothing to play: give --serial N and/or --network ADDRESS")
    try:
        state = PrinterState.parse(args.state)
    except ValueError as error:
        parser.error(str(error))
    printers = []
    if args.serial:
        if not args.prefix:
            parser.error("--serial needs --prefix or WINEPREFIX")
        printer = SerialPrinter(state, record_path=args.record, previews=previews)
        printer.link(args.prefix, args.serial)
        printers.append(printer)
        print("serial printer on COM%d (%s)" % (args.serial, printer.tty_path), flush=True)
    if args.network:
        printers.append(NetworkPrinter(args.network, state, record_path=args.record, previews=previews))
        print("network printer on %s:9100 and :4000" % args.network, flush=True)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    stop.wait()
    for printer in printers:
        printer.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
