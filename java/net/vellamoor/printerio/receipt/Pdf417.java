package net.vellamoor.printerio.receipt;

import java.nio.charset.StandardCharsets;

/**
 * A PDF417 code holding text as UTF-8 bytes: {@code GS ( k} with the
 * length in bytes where the printer draws PDF417, a picture from ZXing
 * where it does not. The column count is chosen to fit the paper, and the
 * error correction level from the amount of data. Immutable.
 */
public final class Pdf417 {
    private static final int MAX_CODEWORDS = 928;
    private static final int MAX_ROWS = 90;
    private static final int MAX_COLUMNS = 30;
    private static final int QUIET_MODULES = 2;

    private final String text;
    private final byte[] data;
    private final int moduleWidth;
    private final int rowHeight;

    private Pdf417(String text, byte[] data, int moduleWidth, int rowHeight) {
        this.text = text;
        this.data = data;
        this.moduleWidth = moduleWidth;
        this.rowHeight = rowHeight;
        if (codewords(1) > MAX_CODEWORDS) {
            throw invalid(text, data.length + " bytes of UTF-8, more than a PDF417 code holds");
        }
    }

    public static Pdf417 of(String text) {
        if (text.isEmpty()) {
            throw invalid(text, "no data");
        }
        try {
            TextLayout.checkSurrogates(text);
        } catch (Invalid e) {
            throw e.named("PDF417 \"" + QrCode.shorten(text) + "\"");
        }
        return new Pdf417(text, text.getBytes(StandardCharsets.UTF_8), 2, 3);
    }

    /** Module width in dots, 2 to 8 (2 unless set). */
    public Pdf417 moduleWidth(int dots) {
        if (dots < 2 || dots > 8) {
            throw invalid(text, "module width " + dots + " dots is not between 2 and 8");
        }
        return new Pdf417(text, data, dots, rowHeight);
    }

    /** Row height in module widths, 2 to 8 (3 unless set). */
    public Pdf417 rowHeight(int modules) {
        if (modules < 2 || modules > 8) {
            throw invalid(text, "row height " + modules + " modules is not between 2 and 8");
        }
        return new Pdf417(text, data, moduleWidth, modules);
    }

    public String text() {
        return text;
    }

    @Override
    public String toString() {
        return "PDF417 \"" + QrCode.shorten(text) + "\"";
    }

    /** The error correction level the amount of data calls for (2 to 5). */
    int level() {
        int data = codewords(-1);
        return data <= 40 ? 2 : data <= 160 ? 3 : data <= 320 ? 4 : 5;
    }

    /**
     * Codewords in byte compaction (the most the data can take): a latch,
     * five for each six bytes and one for each byte left, the length
     * descriptor, and with {@code level >= 0} the error correction ones.
     */
    private int codewords(int level) {
        int dataWords = 1 + 1 + data.length / 6 * 5 + data.length % 6;
        return level < 0 ? dataWords : dataWords + (2 << level);
    }

    /** The fewest columns that keep the code no taller than wide, or 0 when none fits the paper. */
    int columns(int widthDots) {
        int total = codewords(level());
        int widest = Math.min(MAX_COLUMNS, (widthDots / moduleWidth - 2 * QUIET_MODULES - 69) / 17);
        for (int c = 1; c <= widest; c++) {
            int rows = Math.max(3, (total + c - 1) / c);
            if (rows <= MAX_ROWS && rows * rowHeight <= 17 * c + 69) {
                return c;
            }
        }
        return widest >= 1 && (total + widest - 1) / widest <= MAX_ROWS ? widest : 0;
    }

    void encode(Encoder e, Align align) {
        int columns = columns(e.profile.widthDots());
        if (columns == 0) {
            throw new Invalid(codewords(level()) + " codewords do not fit " + MAX_ROWS + " rows of a code "
                    + e.profile.widthDots() + " dots wide at " + moduleWidth + " dots a module");
        }
        e.align(align);
        if (!e.profile.nativePdf417()) {
            e.raster(Symbols.pdf417(text, level(), columns, moduleWidth, rowHeight, e.profile.widthDots()), align);
            return;
        }
        ByteOut out = e.out;
        function(out, 65, columns);
        function(out, 66, 0);  // rows: as many as the data needs
        function(out, 67, moduleWidth);
        function(out, 68, rowHeight);
        out.write(0x1D, '(', 'k');
        out.write(4, 0, 48);
        out.write(69, 48, 48 + level());
        function(out, 70, 0);  // standard, not truncated
        out.write(0x1D, '(', 'k');
        out.writeShort(data.length + 3);
        out.write(48, 80, 48);
        out.write(data);
        function(out, 81, 48);  // print
    }

    private static void function(ByteOut out, int function, int parameter) {
        out.write(0x1D, '(', 'k');
        out.write(3, 0, 48);
        out.write(function, parameter);
    }

    private static ReceiptException invalid(String text, String reason) {
        return new ReceiptException("PDF417 \"" + QrCode.shorten(text) + "\"", reason);
    }
}
