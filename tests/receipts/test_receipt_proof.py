"""The receipt composition API proven on paper: the jobs it composes (all in
one JVM, by ProofJobs, and the receipt of the README's program) drawn by the
virtual printer for each built-in profile, every barcode and QR code decoded
by zbarimg and every PDF417 by ZXing at each paper width, every language
read back by tesseract, a wrong code page or multibyte mode planted to show
that the reading fails, and our text read back at least as well as a peer's
(scripts/compare-peer.py has the whole comparison).

Needs Java, ZXing and the tools of scripts/install-deps.sh; runs under the
system's Python.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

from PIL import Image

from receipt_jobs import ROOT, built_in_profiles, classpath, language_sample, profile_path, readme_jobs, write_jobs

sys.path.insert(0, os.path.join(ROOT, "tools", "virtual_printer"))

import peer_jobs  # noqa: E402
import pdf417  # noqa: E402
import readback  # noqa: E402
import receipt_image  # noqa: E402
from character_sets import load_profile  # noqa: E402

# What the decoders read from ProofJobs' codes receipt and the receipt of the
# README's program.
CODES = {"UPC-A:036000291452", "UPC-E:04252614", "EAN-13:4006381333931", "EAN-8:96385074", "CODE-39:VJ-39",
         "I2/5:12345678", "Codabar:A40156B", "CODE-93:Code93", "CODE-128:VJ 0012345678",
         "QR-Code:https://example.com/r/2026-0001 Grüße €"}
CODES_PDF417 = ["PDF417 receipt 2026-0001"]
README_RECEIPT = {"EAN-13:4006381333931", "QR-Code:https://example.com/r/2026-0001"}
# A 58 mm printer that draws no QR or PDF417 code itself: the package sends
# them as pictures (the profile, and the printer that draws its jobs).
CODES_PROFILES = {"codes-as-pictures": ("extends = generic-58mm\nqr = image\npdf417 = image", "generic-58mm")}
# Profiles that send the README receipt's 160 x 120 logo by the other raster
# commands: the setting, and the command that shows it was used.
RASTER_PROFILES = {"esc-star": ("raster = ESC *", b"\x1b*\x21\xa0\x00"),
                   "gs-paren-l": ("raster = GS ( L", b"\x1d(L"),
                   "bands-of-24": ("raster.band.height = 24", b"\x1dv0\x00\x14\x00\x18\x00")}


def setUpModule():
    global FOLDER, JOBS
    FOLDER = tempfile.mkdtemp(prefix="receipt-proof-")
    JOBS = os.path.join(FOLDER, "jobs")
    classes = classpath(FOLDER)
    write_jobs(classes, JOBS, [profile_file(name, settings) for name, (settings, _) in CODES_PROFILES.items()])
    files = [profile_file(name, "extends = generic-80mm\n" + setting)
             for name, (setting, _) in RASTER_PROFILES.items()]
    readme_jobs(classes, JOBS, built_in_profiles() + files)


def profile_file(name, settings):
    path = os.path.join(FOLDER, name + ".properties")
    with open(path, "w") as profile:
        profile.write(settings + "\n")
    return path


def tearDownModule():
    shutil.rmtree(FOLDER)


def draw(job_name, profile, job=None):
    """The job drawn on the profile's printer, saved as a PNG: (path, notes)."""
    width, model = load_profile(profile_path(profile))
    if job is None:
        with open(os.path.join(JOBS, job_name + ".bin"), "rb") as data:
            job = data.read()
    image, notes = receipt_image.render_job(job, width, model)
    path = os.path.join(FOLDER, "%s-on-%s.png" % (job_name, profile))
    image.save(path)
    return path, notes


def sample(language):
    profile, lines = language_sample(JOBS, language)
    return profile, "\n".join(lines)


class Proof(unittest.TestCase):
    def test_every_code_decodes_at_every_width(self):
        cases = ([("codes-" + profile, profile, CODES) for profile in built_in_profiles()]
                 + [("readme-" + profile, profile, README_RECEIPT) for profile in built_in_profiles()]
                 + [("codes-" + name, printer, CODES) for name, (_, printer) in CODES_PROFILES.items()])
        pictures = []
        for job, printer, expected in cases:
            path, notes = draw(job, printer)
            self.assertEqual(expected, readback.decoded(path) & (CODES | README_RECEIPT), job)
            self.assertEqual([], notes, job)
            if expected is CODES:
                pictures.append(path)
        self.assertEqual([CODES_PDF417] * len(pictures), pdf417.decode(*pictures), "PDF417 by ZXing")
        for name in CODES_PROFILES:
            with open(os.path.join(JOBS, "codes-%s.bin" % name), "rb") as job:
                self.assertNotIn(b"\x1d(k", job.read(), "%s: QR and PDF417 as pictures" % name)

    def test_pictures_print_alike_by_every_raster_command(self):
        path, notes = draw("readme-generic-80mm", "generic-80mm")
        self.assertEqual([], notes)
        with Image.open(path) as expected:
            for name, (_, command) in RASTER_PROFILES.items():
                with open(os.path.join(JOBS, "readme-%s.bin" % name), "rb") as job:
                    self.assertIn(command, job.read(), name)
                path, notes = draw("readme-" + name, "generic-80mm")
                with Image.open(path) as drawn:
                    self.assertEqual(expected.tobytes(), drawn.tobytes(), name)
                self.assertEqual([], notes, name)

    def test_every_language_reads_back(self):
        for language in readback.TESSERACT:
            profile, text = sample(language)
            path, notes = draw("language-" + language, profile)
            ok, read, scores = readback.read_text(path, language, text)
            self.assertTrue(ok, "%s on %s: read %r, agreement %.2f/%.2f" % (language, profile, read, *scores))
            self.assertEqual([], notes, language)

    def test_text_no_page_has_reads_back_as_a_picture(self):
        # The Polish sample for a printer with PC437 alone, Unmappable.IMAGE.
        with open(os.path.join(JOBS, "language-pl-pictured.bin"), "rb") as job:
            self.assertIn(b"\x1dv0", job.read())
        _, polish = sample("pl")
        path, notes = draw("language-pl-pictured", "generic-80mm")
        ok, read, scores = readback.read_text(path, "pl", polish)
        self.assertTrue(ok, "read %r, agreement %.2f/%.2f" % (read, *scores))
        self.assertEqual([], notes)

    def test_a_wrong_page_or_mode_fails_the_reading(self):
        # Planted faults: every page switch of the German job turned to
        # PC866; the Traditional Chinese job printed on a GB18030 printer.
        profile, german = sample("de")
        with open(os.path.join(JOBS, "language-de.bin"), "rb") as data:
            job = data.read()
        flipped = re.sub(rb"\x1bt[\x00-\xff]", b"\x1bt\x11", job)
        self.assertNotEqual(job, flipped)
        path, _ = draw("language-de-flipped", profile, flipped)
        self.assertFalse(readback.read_text(path, "de", german)[0], "German read on PC866")
        _, chinese = sample("zh-Hant")
        path, _ = draw("language-zh-Hant", "multibyte-80mm-gb18030")
        self.assertFalse(readback.read_text(path, "zh-Hant", chinese)[0], "Big5 read on a GB18030 printer")


class SideBySide(unittest.TestCase):
    def test_our_text_reads_back_at_least_as_well_as_the_peers(self):
        peer = os.path.join(FOLDER, "peer")
        try:
            peer_jobs.install_peer(peer)
        except (subprocess.CalledProcessError, subprocess.TimeoutExpired) as error:
            self.skipTest("npm could not install %s: %s" % (peer_jobs.PEER, error))
        samples = {code: language_sample(JOBS, code) for code in ("de", "el", "ja")}
        theirs = os.path.join(FOLDER, "theirs")
        peer_jobs.compose(peer, theirs, {code: lines for code, (_, lines) in samples.items()})
        for code, (profile, lines) in samples.items():
            text = "\n".join(lines)
            ours = readback.read_text(draw("language-" + code, profile)[0], code, text)[2]
            with open(os.path.join(theirs, "language-%s.bin" % code), "rb") as job:
                path, _ = draw("peer-language-" + code, profile, job.read())
            peer = readback.read_text(path, code, text)[2]
            self.assertGreaterEqual(min(ours), min(peer) - 0.02, "%s: ours %s, the peer's %s" % (code, ours, peer))


if __name__ == "__main__":
    unittest.main(verbosity=2)
