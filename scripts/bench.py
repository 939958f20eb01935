#!/usr/bin/env python3
"""Benchmarks the DLL against the raw platform calls under Wine, and the
Linux library against plain write and send loops, on loopback and
pseudo-terminal sinks played by the virtual printer. Prints a table and
writes build/bench/bench.csv."""

import argparse
import csv
import os
import platform
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
for tool in ("virtual_printer", "wine"):
    sys.path.insert(0, os.path.join(ROOT, "tools", tool))

from virtual_printer import NetworkPrinter, SerialPrinter  # noqa: E402
from wine_session import choose_build  # noqa: E402

ADDRESS = "127.0.50.1"
LINUX_ADDRESS = "127.0.50.2"
COM = 30


def machine():
    cpu = "unknown CPU"
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    return "%s, %d cores, %s, %s" % (cpu, os.cpu_count(), platform.system(), platform.release())


def linux_rows(seconds):
    """The Linux library against plain write and send loops, natively, into
    sinks of bench_linux's own that drain as fast as the kernel allows."""
    result = subprocess.run([os.path.join(ROOT, "build", "linux", "tools", "bench_linux"),
                             os.path.join(ROOT, "build", "linux", "libVellamoorJIOx64.so"), LINUX_ADDRESS, str(COM),
                             str(seconds)], capture_output=True, text=True, timeout=600)
    if result.returncode != 0:
        sys.exit("bench_linux failed: " + result.stderr)
    return list(csv.reader(result.stdout.strip().splitlines()))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--seconds", type=float, default=1.5, help="time per side and row (default 1.5)")
    args = parser.parse_args()
    # Ratios under instruction emulation would measure qemu, not the library.
    build, passed_over = choose_build(ROOT, native=True)
    if build is None:
        sys.exit("bench: no Wine loader runs on this machine: " + "; ".join(passed_over))
    for problem in passed_over:
        print("note: %s; measuring %s instead" % (problem, build.dll_name))
    how = "emulated by qemu-user" if build.session.emulated() else "native"
    session, dll = build.session, build.dll_name
    with session.serving():
        network = NetworkPrinter(ADDRESS)
        serial = SerialPrinter()
        serial.link(session.prefix, COM)
        try:
            result = session.run(build.program("bench.exe"),
                                 [build.program(dll), ADDRESS, str(COM), str(args.seconds)], timeout=600)
        finally:
            serial.close()
            network.close()
    if result.returncode != 0:
        sys.exit("bench failed: " + result.stderr)
    rows = list(csv.reader(result.stdout.strip().splitlines())) + linux_rows(args.seconds)
    out_dir = os.path.join(ROOT, "build", "bench")
    os.makedirs(out_dir, exist_ok=True)
    table = []
    with open(os.path.join(out_dir, "bench.csv"), "w", newline="") as out:
        writer = csv.writer(out)
        writer.writerow(["row", "bytes_per_call", "library_calls_per_s", "raw_calls_per_s", "library_MB_per_s",
                         "raw_MB_per_s", "ratio"])
        for name, size, lib_calls, lib_s, raw_calls, raw_s, median_ratio in rows:
            size = int(size)
            lib_rate = int(lib_calls) / float(lib_s)
            raw_rate = int(raw_calls) / float(raw_s)
            ratio = float(median_ratio)
            writer.writerow([name, size, "%.0f" % lib_rate, "%.0f" % raw_rate, "%.2f" % (lib_rate * size / 1e6),
                             "%.2f" % (raw_rate * size / 1e6), "%.3f" % ratio])
            table.append((name, lib_rate, raw_rate, lib_rate * size / 1e6, raw_rate * size / 1e6, ratio, size))
    report = ["%s; %s under %s (%s) and, in the Linux rows, libVellamoorJIOx64.so natively; %.1f s per side and "
              "row in 9 interleaved rounds; ratio = median over the rounds of library rate / raw rate"
              % (machine(), dll, os.path.basename(session.loader), how, args.seconds), "",
              "| Row | Library calls/s | Raw calls/s | Library MB/s | Raw MB/s | Ratio |",
              "|---|---:|---:|---:|---:|---:|"]
    for name, lib_rate, raw_rate, lib_mb, raw_mb, ratio, size in table:
        mb = ("%.2f" % lib_mb, "%.2f" % raw_mb) if size else ("", "")
        report.append("| %s | %.0f | %.0f | %s | %s | %.3f |" % (name, lib_rate, raw_rate, mb[0], mb[1], ratio))
    with open(os.path.join(out_dir, "bench.md"), "w") as out:
        out.write("\n".join(report) + "\n")
    print("\n".join(report))
    print("Written to %s and bench.csv beside it" % os.path.relpath(os.path.join(out_dir, "bench.md"), ROOT))
    return 0


if __name__ == "__main__":
    sys.exit(main())
