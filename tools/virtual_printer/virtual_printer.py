#!/usr/bin/env python3
"""A virtual ESC/POS receipt printer for tests and demos.

It plays a printer on a pseudo-terminal (linked as comN in a Wine prefix, so
that a Windows program opens it as "COMn"; a pseudo-terminal also stands in
for a USB printer) and on a loopback address (print data on TCP 9100, status
on TCP 4000). It answers the real-time status requests DLE EOT 1-4 on the
serial line as they arrive and ESC v on the status connection, from a
printer state. Print data goes through a mechanism that works like a
printer's: a bounded receive buffer, processed in order at a set speed,
that stops when the paper runs out or the cover opens (and then stops
taking data once the buffer is full) and goes on when the fault is cleared.
Requests processed in order (the process ID response GS ( H, transmit
status GS r) are answered when processing reaches them, and automatic status
back (GS a) reports each change of state, on the serial line or the data
connection. It records every byte it receives, and keeps apart what reached
the paper, which is what its previews draw.
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


def command_length(data, at):
    """Length of the command or text run that starts at data[at], or None
    when it is not complete yet. Text runs end before LF and every command
    byte; a command's payload is taken whole, so its bytes are never read as
    commands of their own."""
    byte = data[at]
    left = len(data) - at
    if data.startswith(Mechanism.FAULT, at) or Mechanism.FAULT.startswith(bytes(data[at:at + len(Mechanism.FAULT)])):
        end = data.find(LF, at)
        return None if end < 0 else end + 1 - at
    if byte not in (LF, ESC, GS, DLE):
        end = at
        while end < len(data) and data[end] not in (LF, ESC, GS, DLE):
            end += 1
        return end - at
    if byte == LF:
        return 1
    if left < 2:
        return None
    command = data[at + 1]
    if byte == DLE:
        return 3 if command == EOT and left >= 3 else (None if command == EOT else 1)
    if byte == GS and command == ord("(") or byte == ESC and command == ord("("):
        # GS ( fn pL pH and ESC ( fn pL pH carry pL + 256 pH parameter bytes.
        return None if left < 5 else min(5 + data[at + 3] + 256 * data[at + 4], 5 + 65535)
    if byte == GS and command == ord("v"):
        # GS v 0 m xL xH yL yH: a raster image of (xL + 256 xH) bytes by (yL + 256 yH) dots.
        if left < 8:
            return None
        return 8 + (data[at + 4] + 256 * data[at + 5]) * (data[at + 6] + 256 * data[at + 7])
    if byte == ESC and command == ord("*"):
        # ESC * m nL nH: n columns of 1 (m = 0, 1) or 3 (m = 32, 33) bytes.
        if left < 5:
            return None
        return 5 + (data[at + 3] + 256 * data[at + 4]) * (3 if data[at + 2] >= 32 else 1)
    if byte == ESC and command in b"@<=":
        return 2
    if byte == GS and command == ord("V"):
        return None if left < 3 else (4 if data[at + 2] in (65, 66) else 3)
    return 3


class Mechanism:
    """The printing side of a printer: a receive buffer of buffer_size bytes,
    processed in order at lines_per_second (None: at once). A line is LF or
    each line of ESC d n. It stops before the next line while the paper is
    out, the cover is open or the printer is offline, and goes on when the
    fault is cleared. paper_lines: the roll ends after that many lines.

    Requests processed in order are answered through reply(bytes), which
    the transport sets: the process ID response (GS ( H fn 48) with
    '7' '"' d1..d4 NUL, transmit status (GS r 1) with the paper sensor byte.
    GS a n enables automatic status back for the events in n; the current
    state is sent at once, and again on each change. A switched-off printer
    loses what it had not printed, answers nothing and takes data into
    nowhere; switched on, it starts without automatic status back.

    Test faults, written into a job as a text line and obeyed when
    processing reaches it (the line itself is not printed):
      #fault paper-out MS   the roll ends here; paper is loaded MS ms later
      #fault cover MS       the cover is opened here and closed MS ms later
      #fault off MS         switched off here, on again MS ms later
      #fault close          the data connection is closed (network)
      #fault unplug         the line hangs up for good (serial, USB stand-in)
      #fault mute           the next request processed in order gets no answer
    """

    FAULT = b"#fault "

    def __init__(self, state, lines_per_second=None, buffer_size=4096, paper_lines=None, in_order_answers=True,
                 pushes_status=True):
        self.state = state
        self.pushes_status = pushes_status  # False: GS a is taken and ignored, as by a printer without it
        self.lines_per_second = lines_per_second
        self.buffer_size = buffer_size
        self.paper_lines = paper_lines
        self.in_order_answers = in_order_answers
        self.powered = True
        self.status_back_mask = 0
        self.paper = bytearray()  # what reached the paper
        self.reply = lambda data: None
        self.on_close = lambda: None  # the transport's way to close its data connection
        self.on_unplug = lambda: None  # and to hang up for good
        self.previews = None
        self._mute_next = False
        self._cycle = 0  # counts switch-offs: work read before one is lost
        self._pending = bytearray()
        self._ends = []  # offsets into _pending where a connection ended: the preview's job ends there
        self._condition = threading.Condition()
        self._stop = False
        self._timers = []
        self._thread = threading.Thread(target=self._process, daemon=True)
        self._thread.start()

    # The transport's side.

    def room(self):
        with self._condition:
            return self.buffer_size - len(self._pending)

    def wait_for_room(self, timeout):
        """Whether the buffer has room, waiting up to timeout seconds for it."""
        with self._condition:
            return self._condition.wait_for(lambda: len(self._pending) < self.buffer_size or self._stop, timeout) \
                and not self._stop

    def take(self, data):
        """Bytes received; a switched-off printer drops them."""
        with self._condition:
            if self.powered:
                self._pending += data
                self._condition.notify_all()

    def end_of_connection(self):
        with self._condition:
            self._ends.append(len(self._pending))
            self._condition.notify_all()

    def idle(self):
        with self._condition:
            return not self._pending

    # Faults and their remedies.

    def set_fault(self, **flags):
        """Sets state flags (paper_end=True, cover_open=False, ...) and reports the change."""
        with self._condition:
            for name, value in flags.items():
                setattr(self.state, name, value)
            if "paper_end" in flags and not flags["paper_end"]:
                self.paper_lines = None
            # Reported before processing can go on, as a printer does: the
            # block saying paper is loaded leaves before the answers that
            # the loaded paper lets it give.
            self._send_status_back()
            self._condition.notify_all()

    def switch(self, on):
        with self._condition:
            self.powered = on
            if not on:
                self._cycle += 1
                self._pending.clear()
                self._ends.clear()
                self.status_back_mask = 0
                self._mute_next = False
            self._condition.notify_all()

    def later(self, milliseconds, action):
        timer = threading.Timer(milliseconds / 1000, action)
        timer.daemon = True
        self._timers.append(timer)
        timer.start()

    def close(self):
        with self._condition:
            self._stop = True
            self._condition.notify_all()
        for timer in self._timers:
            timer.cancel()
        self._thread.join(timeout=2)

    # Processing.

    def _can_print(self):
        return self.powered and not (self.state.paper_end or self.state.cover_open or self.state.offline)

    def _next(self):
        """The next command once it can be processed, and the power cycle
        it belongs to; None when stopping. A command leaves the buffer only
        once done (_consume), so a printer switched off meanwhile loses it."""
        with self._condition:
            while True:
                if self._stop:
                    return None, 0
                if self._ends and self._ends[0] == 0:
                    self._ends.pop(0)
                    return b"", self._cycle
                if self._pending and self._can_print():
                    length = command_length(self._pending, 0)
                    if length is not None and length <= len(self._pending):
                        return bytes(self._pending[:length]), self._cycle
                self._condition.wait(0.05)

    def _consume(self, length, cycle):
        """Takes a processed command off the buffer; False when the printer
        was switched off since it was read."""
        with self._condition:
            if cycle != self._cycle or not self.powered:
                return False
            del self._pending[:length]
            self._ends = [end - length for end in self._ends]
            self._condition.notify_all()
            return True

    def _process(self):
        while True:
            command, cycle = self._next()
            if command is None:
                return
            if command == b"":
                if self.previews is not None:
                    self.previews.end()
            elif command.startswith(self.FAULT):
                if self._consume(len(command), cycle):
                    self._obey(command[len(self.FAULT):].decode("ascii", "replace").split())
            else:
                self._carry_out(command, cycle)

    def _carry_out(self, command, cycle):
        lines = 0
        if command == bytes([LF]):
            lines = 1
        elif command[:2] == bytes([ESC, ord("d")]):
            lines = max(command[2], 1)
        elif command[:2] == bytes([GS, ord("v")]):
            lines = max((command[6] + 256 * command[7]) // 24, 1)
        for _ in range(lines):
            if not self._feed_line(cycle):
                return
        if not self._consume(len(command), cycle):
            return
        if command[:3] == bytes([GS, ord("("), ord("H")]):
            if len(command) == 11 and command[5] == 48:
                self._answer_in_order(b"7\"" + command[7:11] + b"\x00")
        elif command[:2] == bytes([GS, ord("r")]):
            self._answer_in_order(bytes([self._paper_sensor() if command[2] in (1, 49) else 0]))
        elif command[:2] == bytes([GS, ord("a")]):
            self.status_back_mask = command[2] if self.pushes_status else 0
            self._send_status_back()
        elif command[:1] != bytes([DLE]):
            self._print(command)

    def _feed_line(self, cycle):
        """Waits out one line's time, then until the printer can print;
        False when it was switched off or stopped meanwhile."""
        if self.lines_per_second:
            time.sleep(1 / self.lines_per_second)
        with self._condition:
            self._condition.wait_for(lambda: self._can_print() or cycle != self._cycle or self._stop)
            if cycle != self._cycle or self._stop:
                return False
            if self.paper_lines is not None:
                self.paper_lines -= 1
                ran_out = self.paper_lines <= 0
            else:
                ran_out = False
        if ran_out:
            self.set_fault(paper_end=True)
        return True

    def _print(self, data):
        with self._condition:
            self.paper += data
            self._condition.notify_all()
        if self.previews is not None:
            self.previews.add(data)

    def _paper_sensor(self):
        return (0x03 if self.state.paper_near_end else 0) | (0x0C if self.state.paper_end else 0)

    def _answer_in_order(self, data):
        if self._mute_next or not self.in_order_answers:
            self._mute_next = False
            return
        self.reply(data)

    def _send_status_back(self):
        if self.powered and self.status_back_mask:
            self.reply(self.state.status_back() + b"\x00")

    def _obey(self, words):
        kind = words[0] if words else ""
        milliseconds = int(words[1]) if len(words) > 1 else 0
        if kind == "paper-out":
            self.set_fault(paper_end=True)
            self.later(milliseconds, lambda: self.set_fault(paper_end=False))
        elif kind == "cover":
            self.set_fault(cover_open=True)
            self.later(milliseconds, lambda: self.set_fault(cover_open=False))
        elif kind == "off":
            self.switch(False)
            self.later(milliseconds, lambda: self.switch(True))
        elif kind == "close":
            self.on_close()
        elif kind == "unplug":
            self.on_unplug()
        elif kind == "mute":
            self._mute_next = True


class SerialPrinter:
    """A printer on a pseudo-terminal; `link(prefix, n)` makes it COMn in Wine."""

    def __init__(self, state=None, record_path=None, answers=None, stall_after=None, stall_for=0.0, previews=None,
                 lines_per_second=None, buffer_size=4096, paper_lines=None, in_order_answers=True, pushes_status=True,
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
        self.mechanism = Mechanism(self.responder.state, lines_per_second, buffer_size, paper_lines, in_order_answers,
                                   pushes_status)
        self.mechanism.previews = previews
        self.mechanism.reply = self.send
        self.mechanism.on_unplug = self._unplug
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
        if self.master is not None:  # None: unplugged
            os.write(self.master, data)

    def _unplug(self):
        """Closes the master side: the port reads EIO, as a USB printer or
        adapter that was pulled out."""
        self._stop.set()
        self._thread.join(timeout=2)
        os.close(self.master)
        self.master = None

    def _answer(self, n):
        if not self.mechanism.powered or not self.responder.take_turn():
            return
        if self.answers is not None:
            byte = self.answers[(n - 1) % len(self.answers)]
        else:
            byte = self.responder.state.real_time_status(n)
        os.write(self.master, bytes([byte]))

    def _serve(self):
        pending = b""
        while not self._stop.is_set():
            # A full buffer stops the reads, so the line backs up as on a
            # printer that waits for paper; a switched-off one swallows all.
            room = self.mechanism.room() if self.mechanism.powered else 4096
            if room <= 0:
                self.mechanism.wait_for_room(0.05)
                continue
            ready, _, _ = select.select([self.master], [], [], 0.05)
            if not ready:
                continue
            try:
                data = os.read(self.master, min(room, 4096))
            except OSError:
                continue
            self.recorder.add_bytes(data)
            self.mechanism.take(data)
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
        self.mechanism.close()
        if self.previews is not None:
            self.previews.end()
        for link in self._links:
            if os.path.lexists(link):
                os.unlink(link)
        if self.master is not None:
            os.close(self.master)
        os.close(self.slave)
        self.recorder.close()


class NetworkPrinter:
    """A printer on ip:9100 (data) and ip:4000 (status)."""

    DATA_PORT = 9100
    STATUS_PORT = 4000

    def __init__(self, address, state=None, record_path=None, listen_data=True, listen_status=True,
                 accept_data=True, reset_after=None, idle_close_ms=None, talk_back=None, previews=None, lines_per_second=None,
                 buffer_size=4096, paper_lines=None, in_order_answers=True, pushes_status=True, **knobs):
        self.address = address
        self.previews = previews  # a receipt_image.PreviewFolder, or None
        self.reset_after = reset_after  # reset the data connection after this many bytes
        self.idle_close_ms = idle_close_ms  # close a connection idle this long, as many printers do
        self.talk_back = talk_back  # bytes sent on a data connection after its first job (a status block)
        self.data = Recorder(record_path)
        self.status = Recorder()
        self.responder = Responder(state or PrinterState(), **knobs)
        self.mechanism = Mechanism(self.responder.state, lines_per_second, buffer_size, paper_lines, in_order_answers,
                                   pushes_status)
        self.mechanism.previews = previews
        self.mechanism.reply = self._send_back
        self.mechanism.on_close = self._close_data_connection
        self._data_connection = None  # the latest one: answers and status back go there
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
            if not self.mechanism.powered:
                reset(connection)
                self._note(("end", port))
                continue
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

    def _receive(self, connection, limit=65536):
        """Next chunk, b'' at end of stream, after the idle time or when the
        printer is switched off (the connection is reset), None when stopping."""
        idle_since = time.monotonic()
        while not self._stop.is_set():
            if not self.mechanism.powered:
                reset(connection)
                return b""
            try:
                return connection.recv(limit)
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
        self._data_connection = connection
        talked = False
        while True:
            if not self.mechanism.wait_for_room(0.05):
                # A full buffer: the window fills up and the host waits, as
                # with a printer waiting for paper.
                if self._stop.is_set():
                    return
                continue
            data = self._receive(connection, self.mechanism.room() if self.mechanism.powered else 65536)
            if not data:
                self.mechanism.end_of_connection()
                return
            self.data.add_bytes(data)
            self.mechanism.take(data)
            if self.talk_back is not None and not talked:
                connection.sendall(self.talk_back)
                talked = True
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

    def _send_back(self, data):
        connection = self._data_connection
        try:
            if connection is not None:
                connection.sendall(data)
        except OSError:
            pass

    def _close_data_connection(self):
        connection = self._data_connection
        if connection is not None:
            try:
                connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

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
        self.mechanism.close()
        self.data.close()


def reset(connection):
    """Closes with RST (a linger time of 0), as a printer that lost power
    and answers the next segment with a reset."""
    try:
        connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        connection.close()
    except OSError:
        pass


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
