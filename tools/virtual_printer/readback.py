"""Reading a receipt drawing back as a person would: barcodes and QR codes by
zbarimg, PDF417 by ZXing, text by tesseract with Debian's language packs.

OCR never reads perfectly, so text is compared, not matched: both sides are
normalised (NFKC, lower case, letters and digits only) and must agree to
READ_BACK; the letters outside ASCII, the ones a wrong code page or
multibyte mode garbles, must agree to the same degree on their own, so a
page that gets only the ASCII right fails even where ASCII is most of the text.
"""

import difflib
import os
import subprocess
import tempfile
import unicodedata

from PIL import Image

READ_BACK = 0.85

# tesseract's names for the languages of the proof.
TESSERACT = {"de": "deu", "fr": "fra", "pl": "pol", "cs": "ces", "ru": "rus", "el": "ell", "tr": "tur",
             "ja": "jpn", "zh-Hans": "chi_sim", "zh-Hant": "chi_tra", "ko": "kor"}


def ocr(path, language, scale=1):
    """The text tesseract reads in a picture, for a language of TESSERACT,
    with the picture enlarged scale times."""
    with tempfile.TemporaryDirectory(prefix="ocr-") as folder:
        if scale != 1:
            larger = os.path.join(folder, "larger.png")
            with Image.open(path) as image:
                image.resize((image.width * scale, image.height * scale), Image.NEAREST).save(larger)
            path = larger
        result = subprocess.run(["tesseract", path, "-", "-l", TESSERACT[language], "--psm", "6"],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, timeout=120)
    return result.stdout


def read_text(path, language, expected):
    """The better of two readings, at the printed size and at twice it (a
    24-dot line is small for tesseract's Hangul and kana, which it reads at
    48, where it sometimes loses the order of a wrapped line): (whether it
    reads back, the reading, its agreement)."""
    best = None
    for scale in (1, 2):
        read = ocr(path, language, scale)
        scores = agreement(expected, read)
        if best is None or min(scores) > min(best[2]):
            best = (min(scores) >= READ_BACK, read, scores)
        if best[0]:
            break
    return best


def decoded(path):
    """Every barcode and QR code zbarimg finds, as "TYPE:data" strings. QR
    data is taken as the bytes it holds, read as UTF-8: zbarimg would guess
    a character set for bytes without an ECI, and guesses Shift_JIS."""
    result = subprocess.run(["zbarimg", "--quiet", "-Senable", "-Sqrcode.binary", path], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, timeout=120)
    return set(result.stdout.decode("utf-8", "replace").splitlines())


def normalised(text):
    text = unicodedata.normalize("NFKC", text).lower()
    return "".join(char for char in text if char.isalnum())


def agreement(expected, read):
    """(all letters, letters outside ASCII): how far the read text agrees with
    the expected one, each from 0 to 1 (1 where there are none to compare)."""
    want, got = normalised(expected), normalised(read)
    wide_want = "".join(char for char in want if ord(char) > 0x7F)
    wide_got = "".join(char for char in got if ord(char) > 0x7F)
    whole = difflib.SequenceMatcher(None, want, got, autojunk=False).ratio()
    wide = difflib.SequenceMatcher(None, wide_want, wide_got, autojunk=False).ratio() if wide_want else 1.0
    return whole, wide
