"""PDF417 symbols as GS ( k draws them: the settings its functions 65-70
store, and the symbol drawn by ZXing's encoder (Debian's libzxing-core-java,
run through Pdf417Symbol.java). Without Java or ZXing the symbol is not drawn
and the receipt says why.
"""

import atexit
import functools
import math
import os
import shutil
import subprocess
import tempfile

from PIL import Image

ZXING_JAR = "/usr/share/java/core.jar"
TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "Pdf417Symbol.java")


class Pdf417Error(Exception):
    pass


class Settings:
    """Function 65 columns, 66 rows (0 = as the data needs), 67 module width
    and 68 row height in dots (2-8; the row height counts module widths), 69
    error correction (a level 0-8 or a ratio of the data in tens of per cent),
    70 standard or truncated, 80 the data."""

    def __init__(self):
        self.columns = 0
        self.rows = 0
        self.module = 3
        self.row_height = 3
        self.level = None
        self.ratio = 1
        self.truncated = False
        self.data = b""

    def set(self, fn, rest):
        n = rest[0]
        if fn == 65:
            self.columns = n if n <= 30 else 0
        elif fn == 66:
            self.rows = n if n == 0 or 3 <= n <= 90 else 0
        elif fn == 67:
            self.module = min(8, max(2, n))
        elif fn == 68:
            self.row_height = min(8, max(2, n))
        elif fn == 69 and len(rest) > 1:
            self.level, self.ratio = (rest[1] - 48, 1) if n == 48 else (None, max(1, min(40, rest[1])))
        elif fn == 70:
            self.truncated = bool(n & 1)

    def error_level(self):
        """The level a ratio asks for: enough error correction codewords
        (2 ** (level + 1)) for that share of the data."""
        if self.level is not None:
            return min(8, max(0, self.level))
        wanted = max(2, len(self.data) * self.ratio / 10)
        return min(8, max(1, math.ceil(math.log2(wanted)) - 1))


@functools.lru_cache(maxsize=None)
def tool_classes():
    """Pdf417Symbol compiled once per process: a JVM that compiles the
    source on each start takes seconds more per symbol."""
    javac = shutil.which("javac")
    if javac is None or not os.path.exists(ZXING_JAR):
        raise Pdf417Error("ZXing (Debian's libzxing-core-java) or the JDK is missing")
    folder = tempfile.mkdtemp(prefix="pdf417-")
    atexit.register(shutil.rmtree, folder, True)
    result = subprocess.run([javac, "-cp", ZXING_JAR, "-d", folder, TOOL], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True, timeout=300)
    if result.returncode != 0:
        raise Pdf417Error("Pdf417Symbol.java does not compile: " + result.stdout[-300:])
    return folder


def run_tool(arguments, data=None):
    command = ["java", "-cp", tool_classes() + os.pathsep + ZXING_JAR, "Pdf417Symbol"] + arguments
    result = subprocess.run(command, input=data, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
    if result.returncode != 0:
        lines = result.stderr.decode(errors="replace").strip().splitlines() or ["exit %d" % result.returncode]
        raise Pdf417Error("ZXing: " + lines[-1])
    return result.stdout.decode()


@functools.lru_cache(maxsize=64)
def modules(data, columns, rows, level, truncated):
    """The symbol's rows of modules, "0" and "1" strings, top row first."""
    return run_tool(["encode", str(columns), str(rows), str(level), "1" if truncated else "0"], data).split()


def symbol(settings):
    """The symbol drawn at the settings' module size, with a quiet zone two
    modules wide around it."""
    if not settings.data:
        raise Pdf417Error("no data stored")
    rows = modules(settings.data, settings.columns, settings.rows, settings.error_level(), settings.truncated)
    quiet = 2
    image = Image.new("1", (len(rows[0]) + 2 * quiet, len(rows) + 2 * quiet), 1)
    pixels = image.load()
    for y, row in enumerate(rows):
        for x, module in enumerate(row):
            if module == "1":
                pixels[x + quiet, y + quiet] = 0
    height = settings.module * settings.row_height
    return image.resize((image.width * settings.module, image.height * height), Image.NEAREST)


def decode(*pngs):
    """The texts of the PDF417 symbols in each picture, by ZXing's reader, in
    one JVM: a list of lists."""
    found = [[] for _ in pngs]
    for line in run_tool(["decode"] + list(pngs)).splitlines():
        index, _, text = line.partition(" ")
        found[int(index)].append(text)
    return found
