"""A short fault campaign of confirmed jobs through the DLL under Wine:
each job goes with automatic status back on and a process ID response
request after it, and counts as printed only when the answer comes back on
the data path (DataPath.nativeRead) within 2 s, as Printer.printConfirmed
does in Java. Faults are drawn at random and written into the jobs as the
virtual printer's fault lines; afterwards the paper is read back. No job
counted printed may be missing or cut short, and none may be on paper
twice. VELLAMOOR_WINE_CAMPAIGN_JOBS sets the jobs per transport (20)."""

import collections
import os
import random
import time
import unittest

import wine_env
from virtual_printer import NetworkPrinter, SerialPrinter

driver = wine_env.shared_driver
JOBS = int(os.environ.get("VELLAMOOR_WINE_CAMPAIGN_JOBS", "20"))
TIMEOUT = 2.0
STATUS_BACK_ON = b"\x1da\x0f"
NOT_READY = (0, 1, 2, 5)  # cover open, offline, cutter error, paper end in the status array


def job_text(job_id):
    lines = [b"JOB %s BEGIN\n" % job_id] + [b"JOB %s line %d ..........\n" % (job_id, n) for n in range(1, 7)]
    return lines + [b"JOB %s END\n" % job_id]


def fault_line(kind, draw):
    if kind in ("paper-out", "cover"):
        return b"#fault %s %d\n" % (kind.encode(), draw.randrange(50, 1500))
    if kind == "off":
        return b"#fault off %d\n" % draw.randrange(100, 700)
    return b"" if kind == "none" else b"#fault %s\n" % kind.encode()


def confirm(handle, job, number):
    """PRINTED, NOT_PRINTED or SENT_NOT_CONFIRMED, as the Java side decides."""
    result, status = driver.status(handle)
    if result != 1 or any(status[position] for position in NOT_READY):
        return "NOT_PRINTED"
    answer = b'7"%04d\x00' % number
    request = b"\x1d(H\x06\x0000%04d" % number
    if driver.write(handle, STATUS_BACK_ON + job + request)[1] == 0:
        return "NOT_PRINTED"
    seen, deadline = b"", time.monotonic() + TIMEOUT
    while time.monotonic() < deadline:
        result, data = driver.data(handle, 64, 200)
        if result < 0:
            return "SENT_NOT_CONFIRMED"
        seen += data
        if answer in seen:
            return "PRINTED"
    return "SENT_NOT_CONFIRMED"


class ConfirmedJobs(unittest.TestCase):
    def campaign(self, name, printer, open_handle, faults, seed):
        draw = random.Random(seed)
        outcomes = {}
        for number in range(JOBS):
            job_id = b"%s-%03d" % (name.encode(), number)
            lines = job_text(job_id)
            kind = draw.choice(faults)
            lines.insert(draw.randrange(1, len(lines)), fault_line(kind, draw))
            handle = open_handle()
            outcomes[job_id] = (kind, confirm(handle, b"".join(lines) + b"\x1dV\x00", seed * 1000 + number))
            driver.close_port(handle)
            time.sleep(0.3)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and not printer.mechanism.idle():
            time.sleep(0.1)
        paper = bytes(printer.mechanism.paper)
        print("\n%s: %s" % (name, dict(collections.Counter(outcomes.values()))))
        for job_id, (kind, outcome) in outcomes.items():
            copies = paper.count(b"".join(job_text(job_id)))
            self.assertLessEqual(copies, 1, "%s (%s) printed twice" % (job_id, kind))
            if outcome == "PRINTED":
                self.assertEqual(1, copies, "%s (%s) counted printed, on paper %d times" % (job_id, kind, copies))
        self.assertIn("PRINTED", [outcome for _, outcome in outcomes.values()])
        self.assertTrue(driver.jni_clean())

    def test_serial(self):
        printer = SerialPrinter(lines_per_second=200)
        printer.link(wine_env.PREFIX, 12)
        self.addCleanup(printer.close)
        self.campaign("serial", printer, lambda: driver.open(2, [12, 4], 1000),
                      ["none", "none", "paper-out", "cover", "off", "mute"], 1)

    def test_network(self):
        printer = NetworkPrinter("127.0.3.31", lines_per_second=200)
        self.addCleanup(printer.close)
        self.campaign("network", printer, lambda: driver.open(3, [127, 0, 3, 31], 1000),
                      ["none", "none", "paper-out", "cover", "off", "mute", "close"], 2)


if __name__ == "__main__":
    unittest.main()
