#!/usr/bin/env python3
"""Benchmarks the printer API of the jar on the Linux library in the real
JVM beside java.net.Socket and jSSC (Debian's libjssc-java): writes of 64 B
to 64 KiB and the status round trip, into a loopback printer played by the
benchmark and a pseudo-terminal printer played here. Prints a table and
writes build/bench/jvm.md and jvm.csv."""

import argparse
import csv
import os
import subprocess
import sys
import threading
import tty

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "scripts"))

from bench import machine  # noqa: E402

ADDRESS = "127.0.50.3"
COM = 31
JSSC = "/usr/share/java/jssc.jar"
JSSC_NATIVE = "/usr/lib/jni"
DLE_EOT = b"\x10\x04"
ONLINE = 0x12  # the answer to DLE EOT 1 to 4 of a printer that is ready


class PtyPrinter:
    """A serial printer that drains its pseudo-terminal as fast as it can and
    answers each DLE EOT n; unlike the virtual printer it keeps nothing."""

    def __init__(self):
        self.master, self.slave = os.openpty()
        tty.setraw(self.master)
        self.tty_path = os.ttyname(self.slave)
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        tail = b""
        while True:
            try:
                data = tail + os.read(self.master, 1 << 16)
            except OSError:
                return
            at = data.find(DLE_EOT)
            while 0 <= at < len(data) - 2:
                os.write(self.master, bytes([ONLINE]))
                at = data.find(DLE_EOT, at + 3)
            tail = data[-2:]

    def close(self):
        os.close(self.slave)
        os.close(self.master)


def compile_benchmark(work):
    classes = os.path.join(work, "classes")
    api = os.path.join(ROOT, "java", "net", "vellamoor", "printerio")
    subprocess.run(["javac", "-d", classes, "-cp", JSSC, os.path.join(ROOT, "tools", "bench", "JvmBench.java")]
                   + [os.path.join(api, name) for name in os.listdir(api) if name.endswith(".java")], check=True)
    return classes


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=float, default=6.0,
                        help="measured time per side and row, in 20 ms slices (default 6.0)")
    parser.add_argument("--rows", default="", help="only the rows whose names start with this")
    args = parser.parse_args()
    if os.geteuid() != 0:
        sys.exit("bench_jvm.py runs as root: both sides hold the one pseudo-terminal at once, which its "
                 "exclusive mode allows only to root")
    subprocess.run([os.path.join(ROOT, "scripts", "build.sh"), "--quiet", "linux"], check=True)
    out_dir = os.path.join(ROOT, "build", "bench")
    classes = compile_benchmark(os.path.join(out_dir, "jvm"))
    library = os.path.join(ROOT, "build", "linux", "libVellamoorJIOx64.so")
    printer = PtyPrinter()
    try:
        result = subprocess.run(
            ["java", "-Djava.library.path=" + JSSC_NATIVE, "-Dvellamoor.printerio.library=" + library,
             "-cp", os.pathsep.join([classes, JSSC]), "JvmBench", ADDRESS, str(COM), printer.tty_path,
             str(args.seconds), args.rows],
            env=dict(os.environ, **{"VELLAMOOR_COM%d" % COM: printer.tty_path}),
            capture_output=True, text=True, timeout=3600)
    finally:
        printer.close()
    if result.returncode != 0:
        sys.exit("JvmBench failed: " + result.stderr)
    java = subprocess.run(["java", "-version"], capture_output=True, text=True).stderr.splitlines()[0]
    report = ["%s; %s; jSSC 2.8.0; %.1f s per side and row in 20 ms slices taken in turns; ratio = median over "
              "the pairs of slices of printer-API rate / peer rate" % (machine(), java, args.seconds), "",
              "| Row | Printer calls/s | Peer calls/s | Printer MB/s | Peer MB/s | Ratio |",
              "|---|---:|---:|---:|---:|---:|"]
    with open(os.path.join(out_dir, "jvm.csv"), "w", newline="") as out:
        writer = csv.writer(out)
        writer.writerow(["row", "bytes_per_call", "printer_calls_per_s", "peer_calls_per_s", "ratio"])
        for name, size, calls, seconds, peer_calls, peer_seconds, ratio in csv.reader(result.stdout.splitlines()):
            size, rate, peer_rate = int(size), int(calls) / float(seconds), int(peer_calls) / float(peer_seconds)
            writer.writerow([name, size, "%.0f" % rate, "%.0f" % peer_rate, ratio])
            mb = ("%.2f" % (rate * size / 1e6), "%.2f" % (peer_rate * size / 1e6)) if size else ("", "")
            report.append("| %s | %.0f | %.0f | %s | %s | %.3f |" % (name, rate, peer_rate, mb[0], mb[1],
                                                                      float(ratio)))
    with open(os.path.join(out_dir, "jvm.md"), "w") as out:
        out.write("\n".join(report) + "\n")
    print("\n".join(report))
    return 0


if __name__ == "__main__":
    sys.exit(main())
