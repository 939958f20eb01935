"""The Wine side of the end-to-end suite: one prefix per build tree, a
wineserver whose exit dump goes to a log, and the port driver that calls the
DLL as the JVM does."""

import fcntl
import os
import select
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools", "virtual_printer"))

LOADER = os.environ.get("VELLAMOOR_LOADER", "/usr/lib/wine/wine64")
DLL = os.environ.get("VELLAMOOR_DLL", "")
DRIVER = os.environ.get("VELLAMOOR_DRIVER", "")
PREFIX = os.environ.get("WINEPREFIX", "")
WINE_DIR = os.path.dirname(LOADER)
WINESERVER = os.path.join(WINE_DIR, "wineserver64" if os.path.exists(os.path.join(WINE_DIR, "wineserver64")) else "wineserver")

ENV = dict(os.environ, WINEPREFIX=PREFIX, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
           WINESERVER=WINESERVER)


def loader_problem():
    """Why the loader cannot run programs here, or None."""
    try:
        subprocess.run([LOADER, "--version"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
    except OSError as error:
        return "%s does not start on this machine (%s)" % (LOADER, error.strerror)
    return None


def _log(name):
    return open(os.path.join(os.path.dirname(PREFIX), name), "ab")


def ensure_prefix():
    """Creates the build tree's prefix once; later suites reuse it."""
    os.makedirs(os.path.dirname(PREFIX), exist_ok=True)
    with open(PREFIX + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.exists(os.path.join(PREFIX, "system.reg")):
            return
        boot = os.path.join(WINE_DIR, "wine64") if os.path.exists(os.path.join(WINE_DIR, "wine64")) else LOADER
        with _log("wineboot.log") as log:
            subprocess.run([boot, "wineboot", "-i"], env=ENV, stdout=log, stderr=log, stdin=subprocess.DEVNULL,
                           timeout=240, check=True)
        subprocess.run([WINESERVER, "-w"], env=ENV, timeout=60)


def start_server():
    """Starts the wineserver first, with its output in a log: a server that a
    wine process starts inherits the test's output and dumps its objects
    there on exit."""
    with _log("wineserver.log") as log:
        subprocess.Popen([WINESERVER, "-f", "-p5"], env=ENV, stdout=log, stderr=log, stdin=subprocess.DEVNULL,
                         start_new_session=True)
    time.sleep(0.2)


def stop_server():
    subprocess.run([WINESERVER, "-k"], env=ENV, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)


class Driver:
    """One Windows process holding the loaded DLL; each call is one command
    line and one answer line, with a bounded wait."""

    def __init__(self, timeout=60):
        self.process = subprocess.Popen([LOADER, DRIVER, DLL], env=ENV, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
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

    def close_port(self, handle):
        return int(self.call("close %d" % handle)[1])

    def status(self, handle, length=137, fill=0xEE, timeout=20):
        answer = self.call("status %d %d %02x" % (handle, length, fill), timeout)
        return int(answer[1]), bytes.fromhex(answer[2]) if answer[2] != "-" else b""

    def jni_clean(self):
        answer = self.call("jni")
        return answer[1:] == ["0", "0"]

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
