"""Draws an ESC/POS job as a thermal receipt printer prints it: a PNG one
paper width wide (576 dots = 80 mm at 203 dpi by default, or 384 or 512).

Text in font A (12 x 24 dots) and font B (9 x 17), emphasis, underline, the
ESC ! and GS ! sizes, white/black reverse, upside-down, alignment, left
margin and print area, line spacing and feeds, the printer model's ESC t
code pages and multibyte modes (FS &, FS C, FS .; GB18030, Big5, Shift_JIS,
KS X 1001 in two-dot-wide cells), raster images (GS v 0, GS ( L), bit images
(ESC *), barcodes (GS k) with their human-readable text, QR codes and PDF417
(GS ( k) and a cut as a dashed line. Commands it does not draw are skipped
by their documented length; a job cut short draws what it has and says what
was cut. Pillow draws, python3-qrcode encodes the QR codes, ZXing (from
Java) the PDF417 symbols; the glyphs come from DejaVu Sans Mono, VL Gothic
for half-width katakana and Noto Sans CJK for multibyte characters.
"""

import os
import threading

import qrcode
from PIL import Image, ImageDraw, ImageFont

import barcodes
import pdf417
from character_sets import CJK_FACES, PrinterModel, multibyte_length

DLE, EOT, ESC, FS, GS, LF, CR, HT, FF = 0x10, 0x04, 0x1B, 0x1C, 0x1D, 0x0A, 0x0D, 0x09, 0x0C
WIDTHS = (384, 512, 576)
FONTS = {0: (12, 24), 1: (9, 17)}  # font A and font B cells, in dots
DEFAULT_LINE_SPACING = 30
GLYPH_FONTS = ("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf",
               "/usr/share/fonts/truetype/vlgothic/VL-Gothic-Regular.ttf")
CJK_FONT = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"
# The katakana page's line and block graphics at 0x80-0x9F (receiptline, for
# one, draws its rules with them).
KATAKANA_GRAPHICS = "▁▂▃▄▅▆▇█▏▎▍▌▋▊▉┼┴┬┤├▔─│▕┌┐└┘╭╮╰╯"
# Pillow's 1-bit images hold 1 for white, the printer's data 1 for a dot.
INVERT = bytes(255 - value for value in range(256))
QR_LEVELS = {48: qrcode.constants.ERROR_CORRECT_L, 49: qrcode.constants.ERROR_CORRECT_M,
             50: qrcode.constants.ERROR_CORRECT_Q, 51: qrcode.constants.ERROR_CORRECT_H}

# Commands not drawn, with their length in bytes after the command letter
# (ESC x, GS x, FS x, DLE x); a letter missing here takes no parameters.
SKIPPED = {
    ESC: {ord(" "): 1, ord("%"): 1, ord("="): 1, ord("?"): 1, ord("R"): 1, ord("r"): 1, ord("U"): 1,
          ord("V"): 1, ord("e"): 1, ord("K"): 1, ord("T"): 1, ord("p"): 3,
          ord("W"): 8, ord("u"): 1, ord("v"): 1, ord("c"): 2},
    GS: {ord("a"): 1, ord("r"): 1, ord("I"): 1, ord("/"): 1, ord("\\"): 2, ord("^"): 3, ord("P"): 2,
         ord("$"): 2, ord("b"): 1, ord("E"): 1, ord("T"): 1, ord("g"): 2, ord("z"): 1, ord("j"): 1},
    FS: {ord("!"): 1, ord("-"): 1, ord("S"): 2, ord("W"): 1, ord("p"): 2},
    DLE: {EOT: 1, 0x05: 1, 0x14: 3},
}


class Truncated(Exception):
    pass


class Style:
    def __init__(self, model=None):
        self.reset(model or PrinterModel())

    def reset(self, model):
        self.font = 0
        self.emphasis = False
        self.underline = 0
        self.width = 1
        self.height = 1
        self.reverse = False
        self.upside_down = False
        self.align = 0
        self.line_spacing = DEFAULT_LINE_SPACING
        self.left_margin = 0
        self.area = None
        self.code_page = 0
        self.multibyte = model.multibyte_at_reset  # FS & entered, FS . left
        self.kanji_code = model.multibyte  # the multibyte encoding, chosen by FS C
        self.barcode_height = 162
        self.barcode_module = 3
        self.hri_position = 0
        self.hri_font = 0


class Receipt:
    """The paper so far: strips of printed dots, top to bottom."""

    def __init__(self, width=576, model=None):
        if width not in WIDTHS:
            raise ValueError("paper width %d dots is not one of %s" % (width, WIDTHS))
        self.width = width
        self.model = model or PrinterModel()
        self.strips = []
        self.style = Style(self.model)
        self.line = []  # (image, baseline-aligned) items of the line being filled
        self.line_width = 0
        self.qr_data = b""
        self.graphic = None  # raster graphics stored by GS ( L / GS 8 L function 112
        self.qr_module = 3
        self.qr_level = qrcode.constants.ERROR_CORRECT_L
        self.pdf417_settings = pdf417.Settings()
        self.notes = []
        self.cuts = 0
        self._fonts = {}
        self._glyphs = {}

    # ----- paper ------------------------------------------------------------

    def area(self):
        area = self.style.area if self.style.area else self.width - self.style.left_margin
        return max(1, min(area, self.width - self.style.left_margin))

    def place(self, block, align=None):
        """Adds a printed block as wide as it is, aligned in the print area."""
        align = self.style.align if align is None else align
        strip = Image.new("1", (self.width, block.height), 1)
        spare = max(0, self.area() - block.width)
        x = self.style.left_margin + (0, spare // 2, spare)[min(align, 2)]
        strip.paste(block, (x, 0))
        self.strips.append(strip)

    def feed(self, dots):
        if dots > 0:
            self.strips.append(Image.new("1", (self.width, dots), 1))

    def cut(self):
        self.flush_line(force=False)
        strip = Image.new("1", (self.width, 9), 1)
        draw = ImageDraw.Draw(strip)
        for x in range(0, self.width, 12):
            draw.line([(x, 4), (x + 6, 4)], fill=0)
        self.strips.append(strip)
        self.cuts += 1

    def image(self):
        self.flush_line(force=False)
        if self.notes:
            self.strips.append(self.text_block("[" + "; ".join(self.notes) + "]", Style()))
        height = max(1, sum(strip.height for strip in self.strips))
        paper = Image.new("1", (self.width, height), 1)
        y = 0
        for strip in self.strips:
            paper.paste(strip, (0, y))
            y += strip.height
        return paper

    # ----- text -------------------------------------------------------------

    def glyph_font(self, path, size, face=None):
        key = (path, size, face)
        if key not in self._fonts:
            self._fonts[key] = load_font(path, size, face) if os.path.exists(path) else None
        return self._fonts[key]

    def glyph_font_for(self, char, cell_h, wide_codec=None):
        """DejaVu Sans Mono, VL Gothic for half-width katakana, which DejaVu
        lacks, and for a multibyte character the Noto Sans CJK face of its
        encoding (VL Gothic where Noto is missing)."""
        if wide_codec:
            font = self.glyph_font(CJK_FONT, int(cell_h * 0.9), CJK_FACES[wide_codec])
            return font or self.glyph_font(GLYPH_FONTS[1], int(cell_h * 0.9))
        path = GLYPH_FONTS[1] if "\uff61" <= char <= "\uff9f" else GLYPH_FONTS[0]
        return self.glyph_font(path, int(cell_h * 0.78))

    def glyph(self, char, style, wide_codec=None):
        """The cell of one character in the style; a multibyte character
        (wide_codec names its encoding) takes a cell twice as wide."""
        key = (char, wide_codec, style.font, style.emphasis, style.underline, style.width, style.height,
               style.reverse)
        if key not in self._glyphs:
            self._glyphs[key] = self.draw_glyph(char, style, wide_codec)
        return self._glyphs[key]

    def draw_glyph(self, char, style, wide_codec):
        cell_w, cell_h = FONTS[style.font]
        cell_w *= 2 if wide_codec else 1
        # Drawn in grey and cut at half: FreeType's own one-bit drawing drops
        # the thin strokes of small Hangul and kanji that a printer's font keeps.
        cell = Image.new("L", (cell_w, cell_h), 255)
        draw = ImageDraw.Draw(cell)
        font = self.glyph_font_for(char, cell_h, wide_codec)
        if font is None:
            draw.rectangle([1, 2, cell_w - 2, cell_h - 3], outline=0)
        elif char != " ":
            left, _, right, _ = font.getbbox(char)
            x = (cell_w - (right - left)) // 2 - left
            y = 0
            if wide_codec:
                # Ideographs sit centred on the cell, as a printer's font draws them.
                _, top, _, bottom = font.getbbox("\u56fd")
                y = (cell_h - (bottom - top)) // 2 - top
            for dx in ((0, 1) if style.emphasis else (0,)):
                draw.text((x + dx, y), char, font=font, fill=0)
        cell = cell.point(lambda value: 255 if value >= 128 else 0).convert("1")
        if style.underline:
            draw.rectangle([0, cell_h - style.underline, cell_w - 1, cell_h - 1], fill=0)
        if style.width > 1 or style.height > 1:
            cell = cell.resize((cell_w * style.width, cell_h * style.height), Image.NEAREST)
        if style.reverse:
            cell = Image.eval(cell.convert("L"), lambda v: 255 - v).convert("1")
        return cell

    def text_block(self, text, style):
        cells = [self.glyph(c, style) for c in text]
        block = Image.new("1", (max(1, sum(c.width for c in cells)), FONTS[style.font][1] * style.height), 1)
        x = 0
        for cell in cells:
            block.paste(cell, (x, block.height - cell.height))
            x += cell.width
        return block

    def add_char(self, char, wide_codec=None):
        cell = self.glyph(char, self.style, wide_codec)
        if self.line_width + cell.width > self.area():
            self.flush_line(force=True)
        self.line.append(cell)
        self.line_width += cell.width

    def move_to(self, x):
        """Moves the print position right to x dots from the left margin (never left)."""
        if x > self.line_width and x <= self.area():
            self.add_inline_image(Image.new("1", (x - self.line_width, 1), 1))

    def add_inline_image(self, image):
        if self.line_width + image.width > self.area():
            self.flush_line(force=True)
        self.line.append(image)
        self.line_width += image.width

    def flush_line(self, force=True):
        """Prints the line being filled (LF prints an empty one, as a feed)."""
        if not self.line and not force:
            return
        if not self.line:
            self.feed(self.style.line_spacing)
            return
        height = max(item.height for item in self.line)
        block = Image.new("1", (max(1, self.line_width), height), 1)
        x = 0
        for item in self.line:
            block.paste(item, (x, height - item.height))
            x += item.width
        if self.style.upside_down:
            block = block.rotate(180)
        self.place(block)
        self.feed(self.style.line_spacing - height)
        self.line, self.line_width = [], 0

    def decode(self, byte):
        """A single byte through the ESC t page selected."""
        page = self.model.pages.get(self.style.code_page, "cp437")
        if byte < 0x80:
            return chr(byte)
        if page == "katakana":
            if byte <= 0x9F:
                return KATAKANA_GRAPHICS[byte - 0x80]
            return bytes([byte]).decode("shift_jis", "replace") if 0xA1 <= byte <= 0xDF else "?"
        return bytes([byte]).decode(page, "replace")

    def add_multibyte(self, code):
        """A character of the multibyte mode: two cells wide, or one for the
        single-byte half-width katakana of Shift_JIS."""
        codec = self.style.kanji_code
        char = code.decode(codec, "replace")
        self.add_char(char, codec if len(code) > 1 else None)

    # ----- images and codes -------------------------------------------------

    def raster(self, mode, width_bytes, rows, data):
        image = packed_rows(width_bytes * 8, rows, data)
        scale = {0: (1, 1), 1: (2, 1), 2: (1, 2), 3: (2, 2), 48: (1, 1), 49: (2, 1), 50: (1, 2), 51: (2, 2)}
        sx, sy = scale.get(mode, (1, 1))
        if (sx, sy) != (1, 1):
            image = image.resize((image.width * sx, image.height * sy), Image.NEAREST)
        self.flush_line(force=False)
        self.place(image)

    def bit_image(self, mode, columns, data):
        dots = 24 if mode in (32, 33) else 8
        per_column = dots // 8
        image = Image.new("1", (columns, dots), 1)
        pixels = image.load()
        for x in range(columns):
            for b in range(per_column):
                byte = data[x * per_column + b]
                for bit in range(8):
                    if byte & (0x80 >> bit):
                        pixels[x, b * 8 + bit] = 0
        if mode in (0, 32):  # single density: each column two dots wide
            image = image.resize((columns * 2, dots), Image.NEAREST)
        self.add_inline_image(image)

    def barcode(self, system, data):
        encode = barcodes.SYMBOLOGIES.get(system)
        if encode is None:
            self.notes.append("barcode system %d not drawn" % system)
            return
        try:
            runs, text = encode(data.decode("ascii", "replace"))
        except (barcodes.BarcodeError, ValueError, KeyError) as error:
            self.notes.append("barcode not printed: %s" % error)
            return
        module, height = self.style.barcode_module, self.style.barcode_height
        if sum(runs) * module > self.area():
            self.notes.append("barcode %r wider than the print area, not printed" % text)
            return
        quiet = min(10 * module, (self.area() - sum(runs) * module) // 2)
        bars = Image.new("1", (sum(runs) * module + 2 * quiet, height), 1)
        draw = ImageDraw.Draw(bars)
        x = quiet
        for i, run in enumerate(runs):
            if i % 2 == 0:
                draw.rectangle([x, 0, x + run * module - 1, height - 1], fill=0)
            x += run * module
        parts = [bars]
        if self.style.hri_position:
            hri_style = Style()
            hri_style.font = self.style.hri_font
            hri = self.text_block(text, hri_style)
            parts = ([hri] if self.style.hri_position in (1, 3) else []) + parts + (
                [hri] if self.style.hri_position in (2, 3) else [])
        self.flush_line(force=False)
        self.place(stack_centred(parts))

    def qr(self):
        if not self.qr_data:
            self.notes.append("QR code printed with no data stored")
            return
        code = qrcode.QRCode(error_correction=self.qr_level, box_size=self.qr_module, border=4)
        code.add_data(self.qr_data)
        code.make(fit=True)
        image = code.make_image(fill_color="black", back_color="white").get_image().convert("1")
        self.flush_line(force=False)
        self.place(image)

    def print_pdf417(self):
        try:
            image = pdf417.symbol(self.pdf417_settings)
        except pdf417.Pdf417Error as error:
            self.notes.append("PDF417 not printed: %s" % error)
            return
        if image.width > self.area():
            self.notes.append("PDF417 wider than the print area, not printed")
            return
        self.flush_line(force=False)
        self.place(image)


def load_font(path, size, face=None):
    """A TrueType font; in a collection, the face whose name has `face` as a
    word (Noto Sans CJK holds JP, KR, SC, TC and HK faces)."""
    if face is None:
        return ImageFont.truetype(path, size)
    for index in range(32):
        try:
            font = ImageFont.truetype(path, size, index=index)
        except OSError:
            break
        if face in font.getname()[0].split():
            return font
    return ImageFont.truetype(path, size)


def packed_rows(width, height, data):
    """Rows of dots packed 8 to a byte, first dot in the high bit, 1 printed."""
    inverted = bytes(data).translate(INVERT)
    return Image.frombytes("1", (width, height), inverted, "raw", "1")


def graphic_image(body):
    """Function 112's raster: a b_x b_y c xL xH yL yH, then rows of dots, 8 per byte."""
    if len(body) < 8:
        return None
    scale_x, scale_y = body[1], body[2]
    width, height = body[4] + 256 * body[5], body[6] + 256 * body[7]
    row_bytes = (width + 7) // 8
    data = body[8:8 + row_bytes * height]
    if width == 0 or height == 0 or len(data) < row_bytes * height:
        return None
    image = packed_rows(row_bytes * 8, height, data).crop((0, 0, width, height))
    if scale_x in (1, 2) and scale_y in (1, 2) and (scale_x, scale_y) != (1, 1):
        image = image.resize((width * scale_x, height * scale_y), Image.NEAREST)
    return image


def stack_centred(parts):
    """Blocks one below the other, each centred on the widest."""
    block = Image.new("1", (max(p.width for p in parts), sum(p.height for p in parts)), 1)
    y = 0
    for part in parts:
        block.paste(part, ((block.width - part.width) // 2, y))
        y += part.height
    return block


class Job:
    """Reads a job's bytes one command at a time and draws on a Receipt."""

    def __init__(self, data, receipt):
        self.data = data
        self.at = 0
        self.receipt = receipt

    def take(self, count, command):
        if self.at + count > len(self.data):
            raise Truncated("job cut short in %s at byte %d" % (command, self.at))
        chunk = self.data[self.at:self.at + count]
        self.at += count
        return chunk

    def byte(self, command):
        return self.take(1, command)[0]

    def run(self):
        try:
            while self.at < len(self.data):
                self.step()
        except Truncated as cut:
            self.receipt.notes.append(str(cut))

    def step(self):
        r, style = self.receipt, self.receipt.style
        byte = self.byte("text")
        if byte in (LF, FF):
            r.flush_line(force=True)
        elif byte == HT:
            cell = FONTS[style.font][0] * style.width
            for _ in range(8 - (r.line_width // cell) % 8):
                r.add_char(" ")
        elif byte == ESC:
            self.esc(self.byte("ESC"))
        elif byte == GS:
            self.gs(self.byte("GS"))
        elif byte == FS:
            self.fs(self.byte("FS"))
        elif byte == DLE:
            self.skip(DLE, self.byte("DLE"))
        elif byte >= 0x80 and style.multibyte and style.kanji_code:
            self.multibyte(byte)
        elif byte >= 0x20:
            r.add_char(r.decode(byte))

    def multibyte(self, lead):
        codec = self.receipt.style.kanji_code
        second = self.data[self.at] if self.at < len(self.data) else None
        rest = self.take(multibyte_length(codec, lead, second) - 1, "a multibyte character")
        self.receipt.add_multibyte(bytes([lead]) + rest)

    def fs(self, letter):
        r, s = self.receipt, self.receipt.style
        if letter == ord("&"):
            if r.model.multibyte is None:
                r.notes.append("FS & on a printer without a multibyte font")
            s.multibyte = True
        elif letter == ord("."):
            s.multibyte = False
        elif letter == ord("C"):
            # Printers with one multibyte encoding ignore FS C.
            n = self.byte("FS C")
            if n in r.model.kanji_codes:
                s.kanji_code = r.model.kanji_codes[n]
            elif r.model.kanji_codes:
                r.notes.append("FS C %d selects an encoding not drawn" % n)
        elif letter == ord("("):
            self.byte("FS (")
            low, high = self.take(2, "FS (")
            self.take(low + 256 * high, "FS (")
        else:
            self.skip(FS, letter)

    def skip(self, prefix, letter):
        self.take(SKIPPED.get(prefix, {}).get(letter, 0), "a command")

    def esc(self, letter):
        r, s = self.receipt, self.receipt.style
        name = "ESC %s" % chr(letter)
        if letter == ord("@"):
            r.flush_line(force=False)
            s.reset(r.model)
        elif letter == ord("!"):
            n = self.byte(name)
            s.font, s.emphasis = n & 1, bool(n & 8)
            s.height, s.width = (2 if n & 16 else 1), (2 if n & 32 else 1)
            s.underline = 1 if n & 128 else 0
        elif letter == ord("-"):
            s.underline = {0: 0, 1: 1, 2: 2, 48: 0, 49: 1, 50: 2}.get(self.byte(name), 0)
        elif letter == ord("2"):
            s.line_spacing = DEFAULT_LINE_SPACING
        elif letter == ord("3"):
            s.line_spacing = self.byte(name)
        elif letter == ord("a"):
            s.align = self.byte(name) % 48
        elif letter in (ord("E"), ord("G")):
            s.emphasis = bool(self.byte(name) & 1)
        elif letter == ord("M"):
            s.font = self.byte(name) % 48 & 1
        elif letter == ord("t"):
            s.code_page = self.byte(name)
            if s.code_page not in r.model.pages:
                r.notes.append("code page %d drawn as PC437" % s.code_page)
        elif letter == ord("{"):
            s.upside_down = bool(self.byte(name) & 1)
        elif letter == ord("d"):
            n = self.byte(name)
            r.flush_line(force=False)
            r.feed(n * s.line_spacing)
        elif letter == ord("J"):
            n = self.byte(name)
            r.flush_line(force=False)
            r.feed(n)
        elif letter == ord("*"):
            mode, low, high = self.take(3, name)
            columns = low + 256 * high
            per_column = 3 if mode in (32, 33) else 1
            r.bit_image(mode, columns, self.take(columns * per_column, name))
        elif letter in (ord("i"), ord("m")):
            r.cut()
        elif letter == ord("$"):
            low, high = self.take(2, name)
            r.move_to(low + 256 * high)
        elif letter == ord("\\"):
            low, high = self.take(2, name)
            step = low + 256 * high
            r.move_to(r.line_width + (step - 65536 if step >= 32768 else step))
        elif letter == ord("D"):
            while self.byte(name) != 0:
                pass
        elif letter == ord("&"):
            y, first, last = self.take(3, name)
            for _ in range(max(0, last - first + 1)):
                self.take(self.byte(name) * y, name)
        else:
            self.skip(ESC, letter)

    def gs(self, letter):
        r, s = self.receipt, self.receipt.style
        name = "GS %s" % chr(letter)
        if letter == ord("!"):
            n = self.byte(name)
            s.width, s.height = (n >> 4 & 7) + 1, (n & 7) + 1
        elif letter == ord("B"):
            s.reverse = bool(self.byte(name) & 1)
        elif letter == ord("L"):
            low, high = self.take(2, name)
            s.left_margin = min(low + 256 * high, r.width - 1)
        elif letter == ord("W"):
            low, high = self.take(2, name)
            s.area = low + 256 * high
        elif letter == ord("H"):
            s.hri_position = self.byte(name) % 48
        elif letter == ord("f"):
            s.hri_font = self.byte(name) % 48 & 1
        elif letter == ord("h"):
            s.barcode_height = max(1, self.byte(name))
        elif letter == ord("w"):
            s.barcode_module = min(6, max(1, self.byte(name)))
        elif letter == ord("k"):
            self.barcode(name)
        elif letter == ord("v"):
            if self.byte(name) != ord("0"):
                return
            mode, xl, xh, yl, yh = self.take(5, name)
            width_bytes, rows = xl + 256 * xh, yl + 256 * yh
            r.raster(mode, width_bytes, rows, self.take(width_bytes * rows, name))
        elif letter == ord("V"):
            m = self.byte(name)
            if m in (65, 66, 97, 98, 103, 104):
                r.flush_line(force=False)
                r.feed(self.byte(name))
            r.cut()
        elif letter == ord("("):
            self.gs_paren(name)
        elif letter == ord("8"):
            function = self.byte(name)
            p1, p2, p3, p4 = self.take(4, name)
            body = self.take(p1 + (p2 << 8) + (p3 << 16) + (p4 << 24), name)
            if function == ord("L"):
                self.graphics(body)
        elif letter == ord("*"):
            x, y = self.take(2, name)
            self.take(x * y * 8, name)
        else:
            self.skip(GS, letter)

    def graphics(self, body):
        """GS ( L and GS 8 L: m fn ...; stores a raster (112) and prints it (50)."""
        r = self.receipt
        if len(body) < 2:
            return
        function = body[1]
        if function == 112:
            r.graphic = graphic_image(body[2:])
        elif function in (50, 2) and r.graphic is not None:
            r.flush_line(force=False)
            r.place(r.graphic)

    def barcode(self, name):
        r = self.receipt
        system = self.byte(name)
        if system <= 6:
            data = bytearray()
            while True:
                byte = self.byte(name)
                if byte == 0:
                    break
                data.append(byte)
        else:
            data = self.take(self.byte(name), name)
        r.barcode(system, bytes(data))

    def gs_paren(self, name):
        function = self.byte(name)
        low, high = self.take(2, name)
        body = self.take(low + 256 * high, name)
        if function == ord("L"):
            self.graphics(body)
            return
        if function != ord("k") or len(body) < 2:
            return  # other GS ( functions are not drawn
        symbol, fn, rest = body[0], body[1], body[2:]
        if symbol == 48:
            self.pdf417(fn, rest)
        elif symbol == 49:
            self.qr(fn, rest)

    def pdf417(self, fn, rest):
        r = self.receipt
        if fn == 81:
            r.print_pdf417()
        elif fn == 80 and rest:
            r.pdf417_settings.data = bytes(rest[1:])
        elif rest:
            r.pdf417_settings.set(fn, rest)

    def qr(self, fn, rest):
        r = self.receipt
        if fn == 67 and rest:
            r.qr_module = min(16, max(1, rest[0]))
        elif fn == 69 and rest:
            r.qr_level = QR_LEVELS.get(rest[0], r.qr_level)
        elif fn == 80 and rest:
            r.qr_data = bytes(rest[1:])
        elif fn == 81:
            r.qr()


def render_job(data, width=576, model=None):
    """The job as a 1-bit image, and the notes on what could not be drawn."""
    receipt = Receipt(width, model)
    Job(bytes(data), receipt).run()
    return receipt.image(), list(receipt.notes)


def split_jobs(data):
    """Splits a stream of print data after each cut: the jobs that ended with
    a cut, and the bytes after the last one."""
    jobs, start, job = [], 0, Job(bytes(data), Receipt())
    while job.at < len(job.data):
        before = job.receipt.cuts
        try:
            job.step()
        except Truncated:
            break
        if job.receipt.cuts != before:
            jobs.append(bytes(data[start:job.at]))
            start = job.at
    return jobs, bytes(data[start:])


class PreviewFolder:
    """Writes every job a printer receives into a folder as a numbered PNG
    (job-0001.png ...): a job ends with a cut, or when its connection ends."""

    def __init__(self, folder, width=576, model=None):
        os.makedirs(folder, exist_ok=True)
        self.folder = folder
        self.width = width
        self.model = model
        self.pending = b""
        self.written = 0
        self.lock = threading.Lock()

    def add(self, data):
        with self.lock:
            jobs, self.pending = split_jobs(self.pending + bytes(data))
            for job in jobs:
                self.write(job)

    def end(self):
        with self.lock:
            if self.pending.strip(b"\0\r\n "):
                self.write(self.pending)
            self.pending = b""

    def write(self, job):
        self.written += 1
        image, _ = render_job(job, self.width, self.model)
        image.save(os.path.join(self.folder, "job-%04d.png" % self.written))
