"""The character tables a receipt printer prints from: the single-byte pages
that ESC t n selects and the multibyte encodings of FS & (entered) and FS .
(left), each named by the Python codec that decodes it.

A printer family numbers its ESC t pages its own way; COMMON_PAGES is the
numbering most ESC/POS printers share. A printer profile of the receipt
composition API (a properties file) names its own, which load_profile reads.
"""

import codecs
import os

# ESC t n of the common numbering, for the pages Python has a codec for.
# Pages it lacks (851, 853, the Thai pages 42/11/13, TCVN-3, 1098, 774, 772)
# are drawn as PC437 with a note.
COMMON_PAGES = {
    0: "cp437", 1: "katakana", 2: "cp850", 3: "cp860", 4: "cp863", 5: "cp865", 13: "cp857", 14: "cp737",
    15: "iso8859_7", 16: "cp1252", 17: "cp866", 18: "cp852", 19: "cp858", 32: "cp720", 33: "cp775",
    34: "cp855", 35: "cp861", 36: "cp862", 37: "cp864", 38: "cp869", 39: "iso8859_2", 40: "iso8859_15",
    44: "cp1125", 45: "cp1250", 46: "cp1251", 47: "cp1253", 48: "cp1254", 49: "cp1255", 50: "cp1256",
    51: "cp1257", 52: "cp1258", 53: "kz1048",
}

# The multibyte encodings, by how their characters start: the lead bytes of
# a two-byte character (the rest are single bytes), and for GB18030 the
# second bytes that make a four-byte one.
MULTIBYTE_LEADS = {
    "gb18030": range(0x81, 0xFF),
    "big5": range(0x81, 0xFF),
    "shift_jis": [*range(0x81, 0xA0), *range(0xE0, 0xFD)],
    "shift_jisx0213": [*range(0x81, 0xA0), *range(0xE0, 0xFD)],
    "euc_kr": range(0xA1, 0xFF),
}
GB18030_FOUR_BYTE_SECOND = range(0x30, 0x3A)

# The face of Noto Sans CJK that draws each encoding's characters the way its
# readers write them; the collection's faces are looked up by name.
CJK_FACES = {"gb18030": "SC", "big5": "TC", "shift_jis": "JP", "shift_jisx0213": "JP", "euc_kr": "KR"}

# FS C n of printers with a Japanese font: the code systems Shift_JIS (1) and
# Shift_JIS-2004 (2). The JIS code system (0) is not drawn.
JAPANESE_CODE_SYSTEMS = {1: "shift_jis", 49: "shift_jis", 2: "shift_jisx0213", 50: "shift_jisx0213"}

BUILT_IN_PROFILES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "java", "net",
                                 "vellamoor", "printerio", "receipt", "profiles")
# A profile's multibyte fonts, by their encoding's Python codec (KS X 1001
# is sent in EUC-KR form).
PROFILE_MULTIBYTE = {"none": None, "gb18030": "gb18030", "big5": "big5", "shift_jis": "shift_jis",
                     "ks_x_1001": "euc_kr"}

# Java's names for the charsets that Python knows by others.
_JAVA_NAMES = {"ibm00858": "cp858", "x-ibm737": "cp737", "x-ibm874": "cp874", "ks_c_5601-1987": "euc_kr",
               "x-windows-949": "cp949", "x-sjis": "shift_jis", "windows-31j": "cp932", "jis_x0201": "katakana"}


def codec_name(name):
    """The Python codec for a charset name as Java or Python spells it
    ("IBM437", "windows-1252", "TIS-620", "x-IBM737", "cp437"), or None."""
    lowered = name.strip().lower()
    if lowered in ("katakana", "jis_x0201"):
        return "katakana"
    lowered = _JAVA_NAMES.get(lowered, lowered)
    if lowered.startswith("ibm") and lowered[3:].isdigit():
        lowered = "cp" + lowered[3:].lstrip("0")
    try:
        return codecs.lookup(lowered).name
    except LookupError:
        return None


def multibyte_length(codec, lead, second):
    """How many bytes the character starting with lead takes (second is the
    next byte, or None at the end of the data)."""
    if lead not in MULTIBYTE_LEADS.get(codec, ()):
        return 1
    if codec == "gb18030" and second is not None and second in GB18030_FOUR_BYTE_SECOND:
        return 4
    return 2


class PrinterModel:
    """What a printer can print: its ESC t pages and the multibyte encoding of its font (None for none; FS & enters it, FS C
    chooses among the code systems of a Japanese font) and whether it starts
    in multibyte mode after a reset."""

    def __init__(self, pages=None, multibyte=None, multibyte_at_reset=False):
        self.pages = dict(COMMON_PAGES if pages is None else pages)
        self.multibyte = multibyte
        self.kanji_codes = JAPANESE_CODE_SYSTEMS if multibyte in JAPANESE_CODE_SYSTEMS.values() else {}
        self.multibyte_at_reset = multibyte_at_reset


def read_properties(path):
    """A Java properties file's keys and values (comments, continued lines)."""
    properties, pending = {}, ""
    with open(path, encoding="latin-1") as lines:
        for line in lines:
            line = pending + line.strip()
            pending = ""
            if line.endswith("\\"):
                pending = line[:-1] + " "
                continue
            if not line or line[0] in "#!":
                continue
            key, _, value = line.partition("=")
            properties[key.strip()] = value.strip()
    return properties


def read_profile_properties(path):
    """A profile's keys over those of the profile it extends: a file beside
    it, or else a built-in one."""
    properties = read_properties(path)
    if "extends" in properties:
        parent = os.path.join(os.path.dirname(path), properties["extends"] + ".properties")
        if not os.path.exists(parent):
            parent = os.path.join(BUILT_IN_PROFILES, properties["extends"] + ".properties")
        properties = {**read_profile_properties(parent), **properties}
    return properties


def load_profile(path):
    """A printer profile as (paper width in dots, PrinterModel), with what it
    extends (a profile of the same folder) underneath. Pages whose charset
    Python lacks are left out: the drawing notes when a job selects one."""
    properties = read_profile_properties(path)
    pages = {}
    for entry in properties.get("code.pages", "").split(","):
        number, _, charset = entry.strip().partition(":")
        if number and codec_name(charset):
            pages[int(number)] = codec_name(charset)
    multibyte = PROFILE_MULTIBYTE[properties.get("multibyte", "none").lower()]
    return int(properties["width.dots"]), PrinterModel(pages, multibyte)
