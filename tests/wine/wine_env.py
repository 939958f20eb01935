"""The end-to-end suite's view of its build: the Wine session of the build
tree and the port driver that holds the DLL and calls it as the JVM does."""

import os
import select
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
for tool in ("virtual_printer", "wine"):
    sys.path.insert(0, os.path.join(HERE, "..", "..", "tools", tool))

from wine_session import WineSession  # noqa: E402

LOADER = os.environ.get("VELLAMOOR_LOADER", "/usr/lib/wine/wine64")
DLL = os.environ.get("VELLAMOOR_DLL", "")
DRIVER = os.environ.get("VELLAMOOR_DRIVER", "")
PREFIX = os.environ.get("WINEPREFIX", "")
session = WineSession(LOADER, PREFIX)


class Driver:
    """One Windows process holding the loaded DLL; each call is one command
    line and one answer line, with a bounded wait."""

    def __init__(self, timeout=60, winsock=True):
        arguments = [DLL] if winsock else [DLL, "--no-winsock"]
        self.process = session.popen(DRIVER, arguments, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL)
        first = self._line(timeout)
        if first != "ready":
            self.close()
            raise RuntimeError("port driver did not start: %r" % first)

    def _line(self, timeout):
        ready, _, _ = select.select([self.process.stdout], [], [], timeout)
        if not ready:
            raise TimeoutError("no answer from the port driver within %.1f s" % timeout)
        return self.process.stdout.readline().decode().strip()

    def call(self, line, timeout=20):
        self.process.stdin.write((line + "\n").encode())
        self.process.stdin.flush()
        return self._line(timeout).split()

    def open(self, port_type, parameters, timeout_ms=500):
        return int(self.call("open %d %d %s" % (port_type, timeout_ms, bytes(parameters).hex() or "-"))[1])

    def write(self, handle, data, start=0, end=None):
        end = len(data) if end is None else end
        answer = self.call("write %d %d %d %s" % (handle, start, end, bytes(data).hex() or "-"))
        return int(answer[1]), int(answer[2])

    def fill(self, handle, count, timeout=30):
        """Writes count bytes 00 01 .. ff 00 .. made inside the driver."""
        answer = self.call("fill %d %d" % (handle, count), timeout)
        return int(answer[1]), int(answer[2])

    def close_port(self, handle):
        return int(self.call("close %d" % handle)[1])

    def status(self, handle, length=137, fill=0xEE, timeout=20):
        answer = self.call("status %d %d %02x" % (handle, length, fill), timeout)
        return int(answer[1]), bytes.fromhex(answer[2]) if answer[2] != "-" else b""

    def data(self, handle, length=64, timeout_ms=1000):
        """DataPath.nativeRead: (result, bytes read)."""
        answer = self.call("data %d %d %d" % (handle, length, timeout_ms), timeout_ms / 1000 + 20)
        return int(answer[1]), bytes.fromhex(answer[2]) if answer[2] != "-" else b""

    def handles(self):
        count = int(self.call("handles")[1])
        if count < 0:
            raise RuntimeError("the driver cannot read the system's handle table")
        return count

    def plant_leak(self):
        return self.call("leak")[1] == "1"

    def jni_clean(self):
        return self.call("jni")[1:] == ["0", "0"]

    def close(self):
        try:
            self.process.stdin.write(b"quit\n")
            self.process.stdin.flush()
        except (BrokenPipeError, ValueError):
            pass
        try:
            self.process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.close()


class SharedDriver:
    """One driver for all the cases of a test module, started when a case
    first uses it; run_suite closes it after the module."""

    _driver = None

    def __getattr__(self, name):
        if SharedDriver._driver is None:
            SharedDriver._driver = Driver()
        return getattr(SharedDriver._driver, name)

    @staticmethod
    def close():
        if SharedDriver._driver is not None:
            SharedDriver._driver.close()
            SharedDriver._driver = None


shared_driver = SharedDriver()
