"""Bar patterns of the barcodes a receipt printer draws (GS k), as a list of
module runs: [bar, space, bar, ...] widths in modules, starting with a bar.

CODE39, ITF, CODABAR and CODE93 come from reportlab's encoders (Debian's
python3-reportlab). The EAN and UPC families are written here: reportlab
draws them only as whole widgets, not as patterns. CODE128 takes its symbol
patterns from reportlab, but its symbols are chosen here: a printer encodes
the code sets the job selects, where reportlab chooses its own.
"""

from reportlab.graphics.barcode.code39 import Standard39
from reportlab.graphics.barcode.code93 import Extended93
from reportlab.graphics.barcode.code128 import _patterns as CODE128_PATTERNS
from reportlab.graphics.barcode.common import Codabar, I2of5

# Left-hand odd-parity digits; the right-hand set is their complement and the
# even-parity set the right-hand set reversed.
_L = ["0001101", "0011001", "0010011", "0111101", "0100011", "0110001", "0101111", "0111011", "0110111", "0001011"]
_R = ["".join("1" if bit == "0" else "0" for bit in code) for code in _L]
_G = [code[::-1] for code in _R]
# Parities of EAN-13 digits 2-7, chosen by the first digit.
_EAN13_PARITY = ["LLLLLL", "LLGLGG", "LLGGLG", "LLGGGL", "LGLLGG", "LGGLLG", "LGGGLL", "LGLGLG", "LGLGGL", "LGGLGL"]
# Parities of the six UPC-E digits (number system 0), chosen by the check digit.
_UPCE_PARITY = ["GGGLLL", "GGLGLL", "GGLLGL", "GGLLLG", "GLGGLL", "GLLGGL", "GLLLGG", "GLGLGL", "GLGLLG", "GLLGLG"]


class BarcodeError(ValueError):
    """Data the symbology cannot encode; the printer prints nothing then."""


def check_digit(digits):
    """The EAN/UPC check digit: weights 3 and 1 from the right."""
    total = sum(int(d) * (3 if i % 2 == 0 else 1) for i, d in enumerate(reversed(digits)))
    return str((10 - total % 10) % 10)


def _runs(bits):
    runs, previous = [], None
    for bit in bits:
        if bit == previous:
            runs[-1] += 1
        else:
            runs.append(1)
            previous = bit
    return runs


def _digits(data, lengths, name):
    if not data.isdigit() or len(data) not in lengths:
        raise BarcodeError("%s takes %s digits, not %r" % (name, " or ".join(map(str, lengths)), data))
    return data


def ean13(data):
    """12 digits (the printer adds the check digit) or 13; returns (runs, text)."""
    data = _digits(data, (12, 13), "EAN-13")[:12]
    data += check_digit(data)
    parity = _EAN13_PARITY[int(data[0])]
    left = "".join((_L if parity[i] == "L" else _G)[int(d)] for i, d in enumerate(data[1:7]))
    right = "".join(_R[int(d)] for d in data[7:])
    return _runs("101" + left + "01010" + right + "101"), data


def upca(data):
    data = _digits(data, (11, 12), "UPC-A")[:11]
    runs, text = ean13("0" + data)
    return runs, text[1:]


def ean8(data):
    data = _digits(data, (7, 8), "EAN-8")[:7]
    data += check_digit(data)
    left = "".join(_L[int(d)] for d in data[:4])
    right = "".join(_R[int(d)] for d in data[4:])
    return _runs("101" + left + "01010" + right + "101"), data


def _upce_to_upca(six):
    d = six
    if d[5] in "012":
        return "0" + d[0] + d[1] + d[5] + "0000" + d[2] + d[3] + d[4]
    if d[5] == "3":
        return "0" + d[0] + d[1] + d[2] + "00000" + d[3] + d[4]
    if d[5] == "4":
        return "0" + d[0] + d[1] + d[2] + d[3] + "00000" + d[4]
    return "0" + d[0] + d[1] + d[2] + d[3] + d[4] + "0000" + d[5]


def upce(data):
    """Six digits of number system 0, optionally with the leading 0 and the check digit."""
    data = _digits(data, (6, 7, 8), "UPC-E")
    if len(data) > 6:
        if data[0] != "0":
            raise BarcodeError("UPC-E takes number system 0 only, not %r" % data)
        data = data[1:7]
    check = check_digit(_upce_to_upca(data))
    parity = _UPCE_PARITY[int(check)]
    middle = "".join((_L if parity[i] == "L" else _G)[int(d)] for i, d in enumerate(data))
    return _runs("101" + middle + "010101"), "0" + data + check


def _two_width(barcode, ratio):
    barcode.validate()
    if not barcode.valid:
        raise BarcodeError("%s cannot encode %r" % (type(barcode).__name__, barcode.value))
    barcode.encode()
    barcode.decompose()
    widths = {"b": 1, "s": 1, "i": 1, "B": ratio, "S": ratio}
    return [widths[c] for c in barcode.decomposed]


def _multi_width(barcode):
    barcode.validate()
    if not barcode.valid:
        raise BarcodeError("%s cannot encode %r" % (type(barcode).__name__, barcode.value))
    barcode.encode()
    barcode.decompose()
    return [ord(c.lower()) - ord("a") + 1 for c in barcode.decomposed]


def code39(data):
    text = data.strip("*")
    return _two_width(Standard39(text, checksum=0, stop=1), 3), "*" + text + "*"


def itf(data):
    _digits(data, range(2, 256, 2), "ITF")
    return _two_width(I2of5(data, checksum=0), 3), data


def codabar(data):
    if len(data) < 2 or data[0].upper() not in "ABCD" or data[-1].upper() not in "ABCD":
        raise BarcodeError("CODABAR data starts and ends with one of A-D, not %r" % data)
    return _two_width(Codabar(data.upper(), checksum=0), 3), data


def code93(data):
    return _multi_width(Extended93(data)), data


# CODE128 symbol values: the start symbol of each code set, the stop symbol,
# and what "{" and the character after it stand for in each code set (FNC1
# to FNC4, SHIFT, a change of code set). "{{" is the brace itself.
_CODE128_START = {"A": 103, "B": 104, "C": 105}
_CODE128_STOP = 106
_CODE128_FUNCTIONS = {
    "A": {"1": 102, "2": 97, "3": 96, "4": 101, "S": 98, "B": 100, "C": 99},
    "B": {"1": 102, "2": 97, "3": 96, "4": 100, "S": 98, "A": 101, "C": 99},
    "C": {"1": 102, "A": 101, "B": 100},
}
_CODE128_SHIFTED = {"A": "B", "B": "A"}


def _code128_character(code_set, char):
    """The value of one character of code set A or B, and what it prints as."""
    byte = ord(char)
    if code_set == "A" and byte < 0x60:
        return (byte + 64 if byte < 0x20 else byte - 0x20), (char if byte >= 0x20 else " ")
    if code_set == "B" and 0x20 <= byte < 0x80:
        return byte - 0x20, char
    raise BarcodeError("CODE128 code set %s has no character %02X" % (code_set, byte))


def _code128_values(data):
    """The symbol values of ESC/POS CODE128 data, which starts with "{A",
    "{B" or "{C"; in code set C each byte is one pair of digits (0-99).
    Returns the values and the human-readable text."""
    if len(data) < 2 or data[0] != "{" or data[1] not in _CODE128_START:
        raise BarcodeError("CODE128 data starts with {A, {B or {C, not %r" % data[:2])
    code_set, values, text, i = data[1], [_CODE128_START[data[1]]], "", 2
    shifted = False  # the next character is of the other code set, A or B
    while i < len(data):
        char, after = data[i], data[i + 1:i + 2]
        if char == "{" and after != "{":
            function = None if shifted else _CODE128_FUNCTIONS[code_set].get(after)
            if function is None:
                raise BarcodeError("CODE128 code set %s has no {%s here" % (code_set, after))
            values.append(function)
            code_set = after if after in _CODE128_START else code_set
            shifted = after == "S"
            i += 2
            continue
        i += 2 if char == "{" else 1
        if code_set == "C":
            if ord(char) > 99:
                raise BarcodeError("CODE128 code set C takes 0-99 per byte, not %d" % ord(char))
            values.append(ord(char))
            text += "%02d" % ord(char)
            continue
        value, shown = _code128_character(_CODE128_SHIFTED[code_set] if shifted else code_set, char)
        values.append(value)
        text += shown
        shifted = False
    if shifted:
        raise BarcodeError("CODE128 data ends with a shift")
    return values, text


def code128(data):
    """ESC/POS data: code set selectors "{A", "{B" and "{C", "{S" for a
    shift, "{1" to "{4" for FNC1 to FNC4, "{{" for a brace."""
    values, text = _code128_values(data)
    check = (values[0] + sum(position * value for position, value in enumerate(values[1:], start=1))) % 103
    patterns = "".join(CODE128_PATTERNS[value] for value in values + [check, _CODE128_STOP])
    return [ord(c.lower()) - ord("a") + 1 for c in patterns], text


# GS k m: the system numbers of both forms of the command.
SYMBOLOGIES = {
    0: upca, 65: upca, 1: upce, 66: upce, 2: ean13, 67: ean13, 3: ean8, 68: ean8,
    4: code39, 69: code39, 5: itf, 70: itf, 6: codabar, 71: codabar, 72: code93, 73: code128,
}
