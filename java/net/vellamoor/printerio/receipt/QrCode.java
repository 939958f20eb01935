package net.vellamoor.printerio.receipt;

import java.nio.charset.StandardCharsets;

/**
 * A QR code (model 2) holding text as UTF-8 bytes. Printers that draw QR
 * codes get {@code GS ( k} with the data's length in bytes (16 bits, low
 * byte first); others get a picture drawn from ZXing. The data is checked
 * when the code is made: no unpaired surrogates, no more bytes than a QR
 * code of the level holds. Immutable.
 */
public final class QrCode {
    /** Error correction: about 7, 15, 25 or 30 % of the code may be lost. */
    public enum Level { L, M, Q, H }

    // Data codewords of versions 1-40 per level, from the QR code standard's
    // error correction table (ISO/IEC 18004, table 9); python3-qrcode's
    // block table gives the same counts.
    private static final int[][] DATA_CODEWORDS = {
        {19, 34, 55, 80, 108, 136, 156, 194, 232, 274, 324, 370, 428, 461, 523, 589, 647, 721, 795, 861, 932, 1006,
            1094, 1174, 1276, 1370, 1468, 1531, 1631, 1735, 1843, 1955, 2071, 2191, 2306, 2434, 2566, 2702, 2812,
            2956},
        {16, 28, 44, 64, 86, 108, 124, 154, 182, 216, 254, 290, 334, 365, 415, 453, 507, 563, 627, 669, 714, 782,
            860, 914, 1000, 1062, 1128, 1193, 1267, 1373, 1455, 1541, 1631, 1725, 1812, 1914, 1992, 2102, 2216, 2334},
        {13, 22, 34, 48, 62, 76, 88, 110, 132, 154, 180, 206, 244, 261, 295, 325, 367, 397, 445, 485, 512, 568, 614,
            664, 718, 754, 808, 871, 911, 985, 1033, 1115, 1171, 1231, 1286, 1354, 1426, 1502, 1582, 1666},
        {9, 16, 26, 36, 46, 60, 66, 86, 100, 122, 140, 158, 180, 197, 223, 253, 283, 313, 341, 385, 406, 442, 464,
            514, 538, 596, 628, 661, 701, 745, 793, 845, 901, 961, 986, 1054, 1096, 1142, 1222, 1276}};
    private static final int QUIET_MODULES = 4;
    private static final int LARGEST_AUTO_MODULE = 6;

    private final String text;
    private final byte[] data;
    private final Level level;
    private final int moduleSize;  // 0: the largest up to 6 dots that fits the paper
    private final int version;  // the version byte mode needs, the largest the printer may choose

    private QrCode(String text, byte[] data, Level level, int moduleSize) {
        this.text = text;
        this.data = data;
        this.level = level;
        this.moduleSize = moduleSize;
        this.version = version(data.length, level);
        if (version == 0) {
            throw invalid(text, data.length + " bytes of UTF-8, more than a level " + level + " QR code holds ("
                    + capacity(40, level) + ")");
        }
    }

    /** A QR code at level M. */
    public static QrCode of(String text) {
        return of(text, Level.M);
    }

    public static QrCode of(String text, Level level) {
        if (text.isEmpty()) {
            throw invalid(text, "no data");
        }
        try {
            TextLayout.checkSurrogates(text);
        } catch (Invalid e) {
            throw e.named("QR code \"" + shorten(text) + "\"");
        }
        return new QrCode(text, text.getBytes(StandardCharsets.UTF_8), level, 0);
    }

    /** Module size in dots, 1 to 16 (unless set: the largest up to 6 that fits the paper). */
    public QrCode moduleSize(int dots) {
        if (dots < 1 || dots > 16) {
            throw invalid(text, "module size " + dots + " dots is not between 1 and 16");
        }
        return new QrCode(text, data, level, dots);
    }

    public String text() {
        return text;
    }

    public Level level() {
        return level;
    }

    @Override
    public String toString() {
        return "QR code \"" + shorten(text) + "\"";
    }

    /** Bytes of data a QR code of a version and level holds in byte mode. */
    static int capacity(int version, Level level) {
        int countBits = version < 10 ? 8 : 16;
        return (DATA_CODEWORDS[level.ordinal()][version - 1] * 8 - 4 - countBits) / 8;
    }

    private static int version(int bytes, Level level) {
        for (int v = 1; v <= 40; v++) {
            if (capacity(v, level) >= bytes) {
                return v;
            }
        }
        return 0;
    }

    void encode(Encoder e, Align align) {
        int modules = 17 + 4 * version + 2 * QUIET_MODULES;
        int size = moduleSize != 0 ? moduleSize : Math.min(LARGEST_AUTO_MODULE, e.profile.widthDots() / modules);
        if (size == 0 || modules * size > e.profile.widthDots()) {
            throw new Invalid("version " + version + " is " + modules + " modules with its quiet zone, "
                    + modules * Math.max(size, 1) + " dots at " + Math.max(size, 1)
                    + " dots a module: wider than the paper's " + e.profile.widthDots());
        }
        e.align(align);
        if (!e.profile.nativeQr()) {
            e.raster(Symbols.qr(text, level, size, e.profile.widthDots()), align);
            return;
        }
        ByteOut out = e.out;
        function(out, 4, 65, 50, 0);  // model 2
        function(out, 3, 67, size);
        function(out, 3, 69, 48 + level.ordinal());
        out.write(0x1D, '(', 'k');
        out.writeShort(data.length + 3);
        out.write(49, 80, 48);
        out.write(data);
        function(out, 3, 81, 48);  // print
    }

    private static void function(ByteOut out, int length, int function, int... parameters) {
        out.write(0x1D, '(', 'k');
        out.writeShort(length);
        out.write(49, function);
        for (int p : parameters) {
            out.write(p);
        }
    }

    static String shorten(String text) {
        return text.length() <= 40 ? text : text.substring(0, 37) + "...";
    }

    private static ReceiptException invalid(String text, String reason) {
        return new ReceiptException("QR code \"" + shorten(text) + "\"", reason);
    }
}
