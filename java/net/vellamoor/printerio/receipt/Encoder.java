package net.vellamoor.printerio.receipt;

import java.util.Arrays;
import java.util.List;

/**
 * One encoding of a receipt for a profile: writes the commands and keeps
 * track of what the printer's settings are, so each is sent only when it
 * changes, and again after anything that may have changed it. Not
 * thread-safe: one per encoding.
 */
final class Encoder {
    private static final int ESC = 0x1B;
    private static final int GS = 0x1D;
    private static final int FS = 0x1C;
    private static final int UNKNOWN = -1;
    private static final int DEFAULT_SPACING = 0;  // ESC 2

    final Profile profile;
    final ByteOut out = new ByteOut();
    private final TextEncoder text;
    private final Unmappable unmappable;
    private TextStyle style;  // null when unknown
    private int align;
    private int spacing;
    private int wantedSpacing = DEFAULT_SPACING;
    // Whether the USA set of ESC R is known to be selected: a reset in raw
    // bytes brings back the printer's own default, which turns # @ [ \ ] and
    // the like into other characters.
    private boolean usaSet;

    Encoder(Profile profile, Unmappable unmappable) {
        this.profile = profile;
        this.unmappable = unmappable;
        this.text = new TextEncoder(profile.charTable());
    }

    /** {@code ESC @}: the printer's defaults, then the code page and mode set again. */
    void reset() {
        out.write(ESC, '@');
        style = TextStyle.NORMAL;
        align = Align.LEFT.ordinal();
        spacing = DEFAULT_SPACING;
        selectUsaSet();
        text.afterReset(out);
    }

    /** Bytes the encoder did not write went out: every setting is sent again before it is next needed. */
    void forget() {
        style = null;
        align = UNKNOWN;
        spacing = UNKNOWN;
        usaSet = false;
        text.forget();
    }

    /** Line spacing in dots for the text that follows, 0 for the printer's default. */
    void wantSpacing(int dots) {
        wantedSpacing = dots;
    }

    /** Cells per line in a style. */
    int columns(TextStyle s) {
        return profile.columns(s.font()) / s.width();
    }

    /**
     * The cells a code point takes: from the printer's pages and font, or
     * for one they lack as the policy prints it.
     */
    int cells(int codePoint) {
        int cells = text.cells(codePoint);
        if (cells >= 0) {
            return cells;
        }
        switch (unmappable) {
            case REPLACE:
                return 1;
            case IMAGE:
                return Cells.of(codePoint);
            default:
                throw new Invalid(String.format("U+%04X %s is in none of the printer's code pages or fonts",
                        codePoint, new String(Character.toChars(codePoint))));
        }
    }

    /** Prints lines of text, each ending with a line feed. */
    void lines(List<int[]> lines, TextStyle s, Align a) {
        int[] run = new int[64];
        int length = 0;
        for (int[] line : lines) {
            if (unmappable == Unmappable.IMAGE && !printable(line)) {
                flushText(run, length, s, a);
                length = 0;
                raster(TextImage.draw(line, s, this), a);
                continue;
            }
            if (length + line.length + 1 > run.length) {
                run = Arrays.copyOf(run, Math.max(run.length * 2, length + line.length + 1));
            }
            for (int c : line) {
                run[length++] = text.cells(c) < 0 ? '?' : c;
            }
            run[length++] = '\n';
        }
        flushText(run, length, s, a);
    }

    private boolean printable(int[] line) {
        for (int c : line) {
            if (text.cells(c) < 0) {
                return false;
            }
        }
        return true;
    }

    private void flushText(int[] run, int length, TextStyle s, Align a) {
        if (length == 0) {
            return;
        }
        if (!usaSet) {
            selectUsaSet();
        }
        style(s);
        align(a);
        spacing();
        text.encode(run, 0, length, out);
    }

    private void selectUsaSet() {
        out.write(ESC, 'R', 0);
        usaSet = true;
    }

    void align(Align a) {
        if (align != a.ordinal()) {
            out.write(ESC, 'a', a.ordinal());
            align = a.ordinal();
        }
    }

    private void spacing() {
        if (spacing == wantedSpacing) {
            return;
        }
        if (wantedSpacing == DEFAULT_SPACING) {
            out.write(ESC, '2');
        } else {
            out.write(ESC, '3', wantedSpacing);
        }
        spacing = wantedSpacing;
    }

    void style(TextStyle s) {
        TextStyle was = style;
        if (was == null || was.isBold() != s.isBold()) {
            out.write(ESC, 'E', s.isBold() ? 1 : 0);
        }
        if (was == null || was.underlineDots() != s.underlineDots()) {
            out.write(ESC, '-', s.underlineDots());
            if (profile.multibyte() != null) {
                out.write(FS, '-', s.underlineDots());  // multibyte characters have their own underline
            }
        }
        if (was == null || was.width() != s.width() || was.height() != s.height()) {
            out.write(GS, '!', (s.width() - 1) << 4 | (s.height() - 1));
        }
        if (was == null || was.isReverse() != s.isReverse()) {
            out.write(GS, 'B', s.isReverse() ? 1 : 0);
        }
        if (was == null || was.isUpsideDown() != s.isUpsideDown()) {
            out.write(ESC, '{', s.isUpsideDown() ? 1 : 0);
        }
        if (was == null || was.font() != s.font()) {
            out.write(ESC, 'M', s.font().ordinal());
        }
        style = s;
    }

    /** A picture in bands no taller than the profile allows, with the profile's raster command. */
    void raster(Raster r, Align a) {
        align(a);
        int band = profile.bandHeight();
        switch (profile.raster()) {
            case GS_V_0:
                for (int y = 0; y < r.height; y += band) {
                    int rows = Math.min(band, r.height - y);
                    out.write(GS, 'v', '0');
                    out.write(0);
                    out.writeShort(r.bytesPerRow());
                    out.writeShort(rows);
                    out.write(r.bits, y * r.bytesPerRow(), rows * r.bytesPerRow());
                }
                break;
            case GS_PAREN_L:
                for (int y = 0; y < r.height; y += band) {
                    int rows = Math.min(band, r.height - y);
                    out.write(GS, '(', 'L');
                    out.writeShort(10 + rows * r.bytesPerRow());
                    out.write(48, 112, 48);
                    out.write(1, 1, 49);
                    out.writeShort(r.width);
                    out.writeShort(rows);
                    out.write(r.bits, y * r.bytesPerRow(), rows * r.bytesPerRow());
                    out.write(GS, '(', 'L');
                    out.write(2, 0);
                    out.write(48, 50);
                }
                break;
            default:
                bitImageBands(r);
        }
    }

    /**
     * {@code ESC *} in 24-dot double density: each band is a line of
     * columns of three bytes (top dot in the high bit), and the line
     * spacing is 24 dots while they print, so bands meet without a gap.
     */
    private void bitImageBands(Raster r) {
        out.write(ESC, '3', 24);
        spacing = 24;
        int perRow = r.bytesPerRow();
        byte[] column = new byte[3 * r.width];
        for (int y = 0; y < r.height; y += 24) {
            Arrays.fill(column, (byte) 0);
            int rows = Math.min(24, r.height - y);
            for (int dy = 0; dy < rows; dy++) {
                int rowStart = (y + dy) * perRow;
                int bit = 0x80 >> (dy & 7);
                int slot = dy >> 3;
                for (int x = 0; x < r.width; x++) {
                    if ((r.bits[rowStart + (x >> 3)] & (0x80 >> (x & 7))) != 0) {
                        column[3 * x + slot] |= bit;
                    }
                }
            }
            out.write(ESC, '*', 33);
            out.writeShort(r.width);
            out.write(column);
            out.write('\n');
        }
    }

    byte[] finish() {
        return out.toByteArray();
    }
}
