#!/usr/bin/env python3
"""The fault campaign: confirmed jobs through the Linux library in the real
JVM, round a serial printer, the USB stand-in and (with --network ADDRESS) a
network printer, each job with a fault drawn at random (paper out mid-job
and loaded again, cover opened and closed, switched off and on, the
connection closed, the confirmation never answered). Afterwards the paper
of each virtual printer is read back. It fails unless no job reported
printed is missing or cut short on paper, no job is on paper twice, and
every attempt ended within its bound. With --bench it times confirmation
on a printer that prints at once instead."""

import argparse
import collections
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tools", "virtual_printer"))
sys.path.insert(0, os.path.join(ROOT, "tests", "jvm"))

from run_jvm_tests import usb_stand_in  # noqa: E402
from virtual_printer import NetworkPrinter, SerialPrinter  # noqa: E402

SERIAL_COM = 20
LINES_PER_SECOND = 200
OPEN_TIMEOUT_MS = 1000
# An attempt ends within the caller's time-out once its job is sent; before
# that come the status query (one read time-out at most, a printer that is
# off answering nothing) and the send itself.
SLACK_MS = OPEN_TIMEOUT_MS + 1500


def compile_classes(work):
    classes = os.path.join(work, "classes")
    sources = [os.path.join(ROOT, "java", "net", "vellamoor", "printerio", name)
               for name in os.listdir(os.path.join(ROOT, "java", "net", "vellamoor", "printerio"))
               if name.endswith(".java")]
    sources.append(os.path.join(ROOT, "tools", "campaign", "FaultCampaign.java"))
    subprocess.run(["javac", "--release", "8", "-Xlint:-options", "-d", classes] + sources, check=True)
    return classes


def expected_on_paper(job_id, lines=8):
    text = "JOB %s BEGIN\n" % job_id
    text += "".join("JOB %s line %d of %d ....................\n" % (job_id, n, lines) for n in range(1, lines + 1))
    return (text + "JOB %s END\n" % job_id).encode("ascii")


def judge(attempts, paper_by_transport, timeout_ms):
    """The campaign's verdict from the till's lines and the paper."""
    failures = []
    outcome_by_job = {}
    for transport, job_id, attempt, fault, result, sent, took, reason in attempts:
        outcome_by_job[job_id] = (transport, fault if attempt == "1" else outcome_by_job[job_id][1], result)
        if int(took) > timeout_ms + SLACK_MS:
            failures.append("%s attempt %s took %s ms (%s)" % (job_id, attempt, took, reason))
    table = collections.Counter()
    for job_id, (transport, fault, result) in outcome_by_job.items():
        copies = paper_by_transport[transport].count(expected_on_paper(job_id))
        table[(transport, fault, result, "whole" if copies == 1 else "missing" if copies == 0 else "twice")] += 1
        if result == "PRINTED" and copies != 1:
            failures.append("%s reported printed, on paper %d times" % (job_id, copies))
        if copies > 1:
            failures.append("%s printed %d times" % (job_id, copies))
    return table, failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--library", required=True, help="libVellamoorJIOx64.so")
    parser.add_argument("--jobs", type=int, default=1000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--timeout-ms", type=int, default=2000)
    parser.add_argument("--network", metavar="ADDRESS", help="a network printer too, on this loopback address")
    parser.add_argument("--bench", type=int, metavar="N", help="time N confirmed jobs instead")
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="campaign-")
    classes = compile_classes(work)
    speed = None if args.bench else LINES_PER_SECOND
    serial, usb = SerialPrinter(lines_per_second=speed), SerialPrinter(lines_per_second=speed)
    printers = {"serial": serial, "usb": usb}
    targets = ["serial:%d" % SERIAL_COM, "usb"]
    if args.network and not args.bench:
        printers["network"] = NetworkPrinter(args.network, lines_per_second=speed)
        targets.append("network:" + args.network)
    env = dict(os.environ, VELLAMOOR_TEST_USB_ROOT=usb_stand_in(work, usb))
    env["VELLAMOOR_COM%d" % SERIAL_COM] = serial.tty_path
    command = ["java", "-Dvellamoor.printerio.library=" + os.path.abspath(args.library), "-cp", classes,
               "net.vellamoor.printerio.FaultCampaign", "--printers", ",".join(targets[:1] if args.bench else targets),
               "--open-timeout-ms", str(OPEN_TIMEOUT_MS)]
    command += ["--bench", str(args.bench)] if args.bench else \
        ["--jobs", str(args.jobs), "--seed", str(args.seed), "--timeout-ms", str(args.timeout_ms)]
    started = time.monotonic()
    try:
        run = subprocess.run(command, env=env, stdout=subprocess.PIPE, text=True)
        # What is still in a printer's buffer (a job whose paper came late) goes on paper first.
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and not all(p.mechanism.idle() for p in printers.values()):
            time.sleep(0.1)
        paper = {name: bytes(p.mechanism.paper) for name, p in printers.items()}
    finally:
        for printer in printers.values():
            printer.close()
    if run.returncode != 0:
        print(run.stdout)
        return 1
    if args.bench:
        print(run.stdout, end="")
        return 0
    attempts = [line.split("\t") for line in run.stdout.splitlines() if line.count("\t") == 7]
    table, failures = judge(attempts, paper, args.timeout_ms)
    jobs = sum(table.values())
    print("%d jobs, %d attempts in %.0f s (seed %d, time-out %d ms)" % (
        jobs, len(attempts), time.monotonic() - started, args.seed, args.timeout_ms))
    print("| transport | fault | result | on paper | jobs |\n|---|---|---|---|---|")
    for (transport, fault, result, on_paper), count in sorted(table.items()):
        print("| %s | %s | %s | %s | %d |" % (transport, fault, result, on_paper, count))
    for failure in failures:
        print("FAILED: " + failure)
    return 1 if failures or jobs != args.jobs else 0


if __name__ == "__main__":
    sys.exit(main())
