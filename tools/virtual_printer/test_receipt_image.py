"""The receipt drawings checked as a person would check a printout: every
barcode and QR code decoded by independent decoders (zbarimg, ZXing for
PDF417), the text read back by OCR (tesseract) in each language's code page
or multibyte mode, for jobs of our own and for jobs made by a third-party
receipt library (receiptline, from npm); exact pixels for a raster image and
a cut; truncated and garbage jobs neither crash nor hang. Runs under the
system's Python, which has Debian's Pillow and qrcode."""

import os
import random
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import barcodes  # noqa: E402
import pdf417  # noqa: E402
import readback  # noqa: E402
import receipt_image  # noqa: E402
from character_sets import PrinterModel  # noqa: E402

ESC, GS, FS = b"\x1b", b"\x1d", b"\x1c"
# A line of each language, with the ESC t page that holds it, or the
# multibyte encoding of the printer that prints it.
LANGUAGES = [
    ("de", 16, "Grüße aus München: Äpfel und Öl, 3,50 €"),
    ("fr", 16, "Café crème et pâtisserie à emporter, 4,20 €"),
    ("pl", 18, "Zażółć gęślą jaźń. Łódź, ulica Żeromskiego"),
    ("cs", 18, "Příliš žluťoučký kůň úpěl ďábelské ódy"),
    ("ru", 17, "Съешь же ещё этих мягких французских булок"),
    ("el", 15, "Ευχαριστούμε πολύ. Σύνολο πληρωμής: 12 ευρώ"),
    ("tr", 48, "Çok teşekkür ederiz. İstanbul, Şişli ğüşıöç"),
    ("ja", "shift_jis", "ご来店ありがとうございます。合計金額は千二百円です"),
    ("zh-Hans", "gb18030", "欢迎光临本店，合计金额为一百二十元，谢谢惠顾"),
    ("zh-Hant", "big5", "歡迎光臨本店，合計金額為一百二十元，謝謝惠顧"),
    ("ko", "euc_kr", "방문해 주셔서 감사합니다. 합계 금액은 만 이천 원입니다"),
]


def language_job(page, text):
    """The line as a printer of that page or multibyte encoding is sent it,
    and the printer: Shift_JIS printers take FS C 1 after FS &."""
    if isinstance(page, int):
        codec = PrinterModel().pages[page]
        return ESC + b"@" + ESC + b"t" + bytes([page]) + text.encode(codec) + b"\n", PrinterModel()
    model = PrinterModel(multibyte=page)
    select = FS + b"C\x01" if page == "shift_jis" else b""
    return ESC + b"@" + FS + b"&" + select + text.encode(page) + b"\n" + FS + b".", model
RECEIPTLINE_VERSION = "1.16.5"


def barcode(system, data):
    """GS k in the form with a length byte (systems 65-73)."""
    return GS + b"H\x02" + GS + b"h\x50" + GS + b"w\x02" + GS + b"k" + bytes([system, len(data)]) + data


def pdf417_symbol(text):
    """GS ( k for PDF417: 3 columns, module 2 dots, rows 3 modules, level 2."""
    store = b"0P0" + text.encode()
    return (GS + b"(k\x03\x000A\x03" + GS + b"(k\x03\x000C\x02" + GS + b"(k\x03\x000D\x03"
            + GS + b"(k\x04\x000E02" + GS + b"(k" + bytes([len(store) & 0xFF, len(store) >> 8]) + store
            + GS + b"(k\x03\x000Q0")


def qr(text, module=6):
    data = text.encode()
    store = b"1P0" + data
    return (GS + b"(k\x04\x001A2\x00" + GS + b"(k\x03\x001C" + bytes([module]) + GS + b"(k\x03\x001E1"
            + GS + b"(k" + bytes([len(store) & 0xFF, len(store) >> 8]) + store + GS + b"(k\x03\x001Q0")


class Drawing(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="receipt-image-")
        self.addCleanup(shutil.rmtree, self.folder)

    def draw(self, job, width=576, model=None):
        image, notes = receipt_image.render_job(job, width, model)
        path = os.path.join(self.folder, "job%d.png" % len(os.listdir(self.folder)))
        image.save(path)
        return path, image, notes

    @staticmethod
    def ocr(path):
        result = subprocess.run(["tesseract", path, "-", "--psm", "6"], stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, text=True, timeout=60)
        return result.stdout

    def test_every_barcode_and_qr_code_decodes(self):
        cases = [(65, b"03600029145", "UPC-A:036000291452"), (66, b"0425261", "UPC-E:04252614"),
                 (67, b"590123412345", "EAN-13:5901234123457"), (68, b"9638507", "EAN-8:96385074"),
                 (69, b"VJ-39", "CODE-39:VJ-39"), (70, b"12345678", "I2/5:12345678"),
                 (71, b"A40156B", "Codabar:A40156B"), (72, b"Code93", "CODE-93:Code93"),
                 (73, b"{BReceipt-128", "CODE-128:Receipt-128")]
        paths = []
        for width in receipt_image.WIDTHS:
            job = ESC + b"@" + ESC + b"a\x01"
            for system, data, _ in cases:
                job += barcode(system, data) + b"\n"
            job += qr("https://example.com/r/1") + pdf417_symbol("PDF417 receipt 0042") + GS + b"V\x00"
            path, _, notes = self.draw(job, width)
            paths.append(path)
            seen = readback.decoded(path)
            for _, _, expected in cases + [(0, b"", "QR-Code:https://example.com/r/1")]:
                self.assertIn(expected, seen, "paper width %d: %s" % (width, sorted(seen)))
            self.assertEqual([], notes)
        self.assertEqual([["PDF417 receipt 0042"]] * len(paths), pdf417.decode(*paths), "PDF417 by ZXing")

    def test_code128_code_sets_as_printed(self):
        # (label, GS k data, what zbarimg reads, the human-readable text)
        cases = [("set C, a byte per digit pair", b"{C" + bytes([20, 26, 3, 18, 12, 34, 56]), "20260318123456",
                  "20260318123456"),
                 ("set A, a control character", b"{APART\x0412", "PART\x0412", "PART 12"),
                 ("set A, a shift to B", b"{AAB{ScD", "ABcD", "ABcD"),
                 ("set B, a shift to A", b"{Bab{S\x01c", "ab\x01c", "ab c"),
                 ("B to C to B, a brace", b"{BNo.{C" + bytes([12, 34]) + b"{Bx{{", "No.1234x{", "No.1234x{")]
        job = ESC + b"@" + ESC + b"a\x01"
        for label, data, _, hri in cases:
            job += barcode(73, data) + b"\n"
            self.assertEqual(hri, barcodes.code128(data.decode("ascii"))[1], label)
        path, _, notes = self.draw(job)
        result = subprocess.run(["zbarimg", "--quiet", "-Senable", path], stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, text=True, timeout=60)
        seen = result.stdout.split("\n")
        for label, _, decoded, _ in cases:
            self.assertIn("CODE-128:" + decoded, seen, label)
        self.assertEqual([], notes)

    def test_code128_data_a_printer_refuses(self):
        for data in (b"Receipt", b"{Aabc", b"{C\x64", b"{Bab{S"):
            _, _, notes = self.draw(ESC + b"@" + barcode(73, data))
            self.assertEqual(1, len(notes), data)
            self.assertTrue(notes[0].startswith("barcode not printed: CODE128"), notes)

    def test_text_reads_back(self):
        job = (ESC + b"@" + ESC + b"a\x01" + GS + b"!\x11" + b"CORNER CAFE\n" + GS + b"!\x00" + ESC + b"a\x00"
               + b"Flat white        3.20\n" + ESC + b"E\x01" + b"TOTAL             3.20\n" + ESC + b"E\x00"
               + GS + b"B\x01" + b" THANK YOU \n" + GS + b"B\x00"
               + ESC + b"{\x01" + b"UPSIDE DOWN\n" + ESC + b"{\x00" + GS + b"V\x00")
        path, image, _ = self.draw(job)
        text = self.ocr(path)
        for words in ("CORNER CAFE", "Flat white", "TOTAL"):
            self.assertIn(words, text)
        self.assertNotIn("UPSIDE DOWN", text, "upside-down text does not read the right way up")
        turned = os.path.join(self.folder, "turned.png")
        image.rotate(180).save(turned)
        self.assertIn("UPSIDE DOWN", self.ocr(turned))
        inverted = os.path.join(self.folder, "inverted.png")
        image.point(lambda v: 255 - v).save(inverted)
        self.assertIn("THANK YOU", self.ocr(inverted), "white on black reads as black on white inverted")

    def test_code_pages(self):
        receipt = receipt_image.Receipt()
        cases = [(0, 0x9B, "¢"), (2, 0x9B, "ø"), (19, 0xD5, "€"), (18, 0xA5, "ą"), (17, 0x80, "А"),
                 (16, 0x80, "€"), (1, 0xB1, "ｱ"), (1, 0x95, "─"), (13, 0x8D, "ı"), (14, 0x97, "Ω"),
                 (15, 0xD9, "Ω"), (34, 0xEA, "Ж"), (35, 0x8C, "ð"), (38, 0xD5, "Ω"), (39, 0xB3, "ł"),
                 (40, 0xA4, "€"), (45, 0xF8, "ř"), (46, 0xC6, "Ж"), (48, 0xFE, "ş"), (51, 0xEB, "ė")]
        for page, byte, char in cases:
            receipt.style.code_page = page
            self.assertEqual(char, receipt.decode(byte), "ESC t %d, byte %02X" % (page, byte))

    def test_every_language_reads_back(self):
        for language, page, text in LANGUAGES:
            job, model = language_job(page, text)
            path, _, notes = self.draw(job, model=model)
            ok, read, scores = readback.read_text(path, language, text)
            self.assertTrue(ok, "%s: read %r, agreement %.2f/%.2f" % (language, read, *scores))
            self.assertEqual([], notes)

    def test_raster_and_cut_pixels(self):
        # An 16 x 2 raster: a checkerboard row, then a solid row, left aligned at the top.
        pattern = bytes([0xAA, 0x55, 0xFF, 0xFF])
        job = ESC + b"@" + GS + b"v0\x00\x02\x00\x02\x00" + pattern + GS + b"V\x00"
        _, image, notes = self.draw(job, 384)
        pixels = image.load()
        got = [[0 if pixels[x, y] else 1 for x in range(16)] for y in range(2)]
        want = [[(pattern[y * 2 + x // 8] >> (7 - x % 8)) & 1 for x in range(16)] for y in range(2)]
        self.assertEqual(want, got)
        self.assertEqual((384, 2 + 9), image.size, "the image, then the cut")
        dashes = [0 if pixels[x, 2 + 4] else 1 for x in range(24)]
        self.assertEqual([1] * 7 + [0] * 5 + [1] * 7 + [0] * 5, dashes, "the cut is a dashed line")
        self.assertEqual([], notes)

    def test_truncated_and_garbage_jobs_end_in_time(self):
        _, _, notes = self.draw(ESC + b"@HELLO\n" + GS + b"v0\x00\x10\x00\x10\x00" + b"\xff" * 20)
        self.assertEqual(["job cut short in GS v at byte 16"], notes)
        generator = random.Random(20261209)
        for case in range(25):
            job = bytes(generator.randrange(256) for _ in range(3000))
            started = time.monotonic()
            receipt_image.render_job(job)
            self.assertLess(time.monotonic() - started, 20, "garbage job %d" % case)


class Serving(unittest.TestCase):
    def test_every_job_received_becomes_a_numbered_png(self):
        import socket
        from virtual_printer import NetworkPrinter
        folder = tempfile.mkdtemp(prefix="previews-")
        self.addCleanup(shutil.rmtree, folder)
        printer = NetworkPrinter("127.0.12.1", previews=receipt_image.PreviewFolder(folder, 384))
        try:
            with socket.create_connection(("127.0.12.1", 9100), timeout=5) as connection:
                connection.sendall(b"FIRST JOB\n" + GS + b"V\x00" + b"SECOND JOB\n" + GS + b"V\x00" + b"TAIL\n")
            deadline = time.monotonic() + 10
            while len(os.listdir(folder)) < 3 and time.monotonic() < deadline:
                time.sleep(0.05)
        finally:
            printer.close()
        self.assertEqual(["job-0001.png", "job-0002.png", "job-0003.png"], sorted(os.listdir(folder)),
                         "two cut jobs and the rest when the connection ended")
        self.assertIn("SECOND JOB", Drawing.ocr(os.path.join(folder, "job-0002.png")))


class ThirdPartyJobs(unittest.TestCase):
    """Jobs made by receiptline (npm), a receipt library of someone else's."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="receiptline-")
        result = subprocess.run(["npm", "install", "--no-audit", "--no-fund", "--prefix", cls.folder,
                                 "receiptline@" + RECEIPTLINE_VERSION], stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, text=True, timeout=300)
        if result.returncode != 0:
            raise unittest.SkipTest("npm could not install receiptline: " + result.stdout[-300:])

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    def job(self, document):
        script = ("const r = require('receiptline'); process.stdout.write(Buffer.from(r.transform("
                  "process.argv[1], {cpl: 48, encoding: 'cp437', command: 'escpos', spacing: true}), 'binary'))")
        result = subprocess.run(["node", "-e", script, document], cwd=self.folder, stdout=subprocess.PIPE,
                                timeout=60, env=dict(os.environ, NODE_PATH=os.path.join(self.folder, "node_modules")))
        self.assertEqual(0, result.returncode)
        return result.stdout

    def test_receiptline_receipt_reads_and_decodes(self):
        document = ("^^^RECEIPTLINE CAFE\nSales slip\n\nLatte | 1| 3.50\nMuffin | 2| 4.80\n---\n"
                    "^TOTAL | ^8.30\n\n{code:4901234567894; option:ean,hri}\n\n{code:RECEIPT-39; option:code39,hri}\n\n"
                    "{code:1234567890; option:itf,hri}\n\n{code:A1234B; option:nw7,hri}\n\n"
                    "{code:Receipt93; option:code93,hri}\n\n{code:Receipt128; option:code128,hri}\n\n"
                    "{code:20260318123456; option:code128,hri}\n\n"
                    "{code:https://example.org/receipt/42; option:qrcode,6,m}\n=")
        path = os.path.join(self.folder, "receiptline.png")
        image, notes = receipt_image.render_job(self.job(document))
        image.save(path)
        seen = readback.decoded(path)
        for expected in ("EAN-13:4901234567894", "CODE-39:RECEIPT-39", "I2/5:1234567890", "Codabar:A1234B",
                         "CODE-93:Receipt93", "CODE-128:Receipt128", "CODE-128:20260318123456", "QR-Code:https://example.org/receipt/42"):
            self.assertIn(expected, seen, sorted(seen))
        text = Drawing.ocr(path)
        for words in ("RECEIPTLINE CAFE", "Sales slip", "Latte", "Muffin", "3.50", "4.80"):
            self.assertIn(words, text)
        self.assertEqual([], notes)


if __name__ == "__main__":
    unittest.main(verbosity=2)
