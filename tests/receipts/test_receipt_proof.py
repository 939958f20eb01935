"""The receipt composition API proven on paper: the jobs it composes (all in
one JVM, by ProofJobs) drawn by the virtual printer for each built-in
profile, every barcode and QR code decoded by zbarimg and every PDF417 by
ZXing at each paper width, every language read back by tesseract, and a
wrong code page or multibyte mode planted to show that the reading fails.

VELLAMOOR_RECEIPT_CLASSPATH names compiled classes of the receipt package
and ProofJobs (scripts/java.sh passes its own); without it the test
compiles them from the sources. Needs Java, ZXing and the tools of
scripts/install-deps.sh; runs under the system's Python.
"""

import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools", "virtual_printer"))

import pdf417  # noqa: E402
import readback  # noqa: E402
import receipt_image  # noqa: E402
from character_sets import load_profile  # noqa: E402

PACKAGE = os.path.join(ROOT, "java", "net", "vellamoor", "printerio")
PROFILES = os.path.join(PACKAGE, "receipt", "profiles")
ZXING_JAR = "/usr/share/java/core.jar"

# What the decoders read from ProofJobs' codes receipt and the README receipt.
CODES = {"UPC-A:036000291452", "UPC-E:04252614", "EAN-13:4006381333931", "EAN-8:96385074", "CODE-39:VJ-39",
         "I2/5:12345678", "Codabar:A40156B", "CODE-93:Code93", "CODE-128:VJ 0012345678",
         "QR-Code:https://example.com/r/2026-0001 Grüße €"}
CODES_PDF417 = ["PDF417 receipt 2026-0001"]
README_RECEIPT = {"EAN-13:4006381333931", "QR-Code:https://example.com/r/2026-0001"}


def compile_classes(folder):
    classes = os.path.join(folder, "classes")
    sources = (glob.glob(os.path.join(PACKAGE, "*.java")) + glob.glob(os.path.join(PACKAGE, "receipt", "*.java"))
               + [os.path.join(ROOT, "java", "test", "net", "vellamoor", "printerio", "receipt", "ProofJobs.java")])
    subprocess.run(["javac", "-Xlint:-options", "-cp", ZXING_JAR, "-d", classes] + sources, check=True, timeout=600)
    shutil.copytree(PROFILES, os.path.join(classes, "net", "vellamoor", "printerio", "receipt", "profiles"))
    return classes + os.pathsep + ZXING_JAR


def setUpModule():
    global FOLDER, JOBS
    FOLDER = tempfile.mkdtemp(prefix="receipt-proof-")
    JOBS = os.path.join(FOLDER, "jobs")
    classpath = os.environ.get("VELLAMOOR_RECEIPT_CLASSPATH") or compile_classes(FOLDER)
    subprocess.run(["java", "-cp", classpath, "net.vellamoor.printerio.receipt.ProofJobs", JOBS], check=True,
                   timeout=600)


def tearDownModule():
    shutil.rmtree(FOLDER)


def draw(job_name, profile, job=None):
    """The job drawn on the profile's printer, saved as a PNG: (path, notes)."""
    width, model = load_profile(os.path.join(PROFILES, profile + ".properties"))
    if job is None:
        with open(os.path.join(JOBS, job_name + ".bin"), "rb") as data:
            job = data.read()
    image, notes = receipt_image.render_job(job, width, model)
    path = os.path.join(FOLDER, "%s-on-%s.png" % (job_name, profile))
    image.save(path)
    return path, notes


def language_sample(language):
    """The profile the language's sample was composed for, and its text."""
    with open(os.path.join(JOBS, "language-%s.txt" % language), encoding="utf-8") as text:
        profile, *lines = text.read().splitlines()
    return profile, "\n".join(lines)


class Proof(unittest.TestCase):
    def test_every_code_decodes_at_every_width(self):
        pictures = []
        for profile in sorted(os.path.basename(p)[:-11] for p in glob.glob(os.path.join(PROFILES, "*.properties"))):
            for job, expected in (("codes-" + profile, CODES), ("receipt-" + profile, README_RECEIPT)):
                path, notes = draw(job, profile)
                self.assertEqual(expected, readback.decoded(path) & (CODES | README_RECEIPT), job)
                self.assertEqual([], notes, job)
                if expected is CODES:
                    pictures.append(path)
        self.assertEqual([CODES_PDF417] * len(pictures), pdf417.decode(*pictures), "PDF417 by ZXing")

    def test_every_language_reads_back(self):
        for language in readback.TESSERACT:
            profile, text = language_sample(language)
            path, notes = draw("language-" + language, profile)
            ok, read, scores = readback.read_text(path, language, text)
            self.assertTrue(ok, "%s on %s: read %r, agreement %.2f/%.2f" % (language, profile, read, *scores))
            self.assertEqual([], notes, language)

    def test_a_wrong_page_or_mode_fails_the_reading(self):
        # Planted faults: every page switch of the German job turned to
        # PC866; the Traditional Chinese job printed on a GB18030 printer.
        profile, german = language_sample("de")
        with open(os.path.join(JOBS, "language-de.bin"), "rb") as data:
            job = data.read()
        flipped = re.sub(rb"\x1bt[\x00-\xff]", b"\x1bt\x11", job)
        self.assertNotEqual(job, flipped)
        path, _ = draw("language-de-flipped", profile, flipped)
        self.assertFalse(readback.read_text(path, "de", german)[0], "German read on PC866")
        _, chinese = language_sample("zh-Hant")
        path, _ = draw("language-zh-Hant", "multibyte-80mm-gb18030")
        self.assertFalse(readback.read_text(path, "zh-Hant", chinese)[0], "Big5 read on a GB18030 printer")


if __name__ == "__main__":
    unittest.main(verbosity=2)
