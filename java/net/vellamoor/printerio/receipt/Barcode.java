package net.vellamoor.printerio.receipt;

import java.nio.charset.StandardCharsets;
import java.util.Locale;

/**
 * A one-dimensional barcode the printer draws itself ({@code GS k}), its
 * data checked when it is made: digits and lengths, check digits (given
 * ones verified, missing ones added), each symbology's character set.
 * Immutable; the settings return changed copies.
 *
 * <pre>
 * Barcode.ean13("400638133393").height(80).hri(Barcode.Hri.BELOW)
 * </pre>
 */
public final class Barcode {
    /** The symbologies, with the {@code m} of {@code GS k m n d1...dn}. */
    public enum Symbology {
        UPC_A("UPC-A", 65), UPC_E("UPC-E", 66), EAN13("EAN-13", 67), EAN8("EAN-8", 68), CODE39("CODE39", 69),
        ITF("ITF", 70), CODABAR("CODABAR", 71), CODE93("CODE93", 72), CODE128("CODE128", 73);

        final String label;
        final int command;

        Symbology(String label, int command) {
            this.label = label;
            this.command = command;
        }

        @Override
        public String toString() {
            return label;
        }
    }

    /** Where the human-readable text prints. */
    public enum Hri { NONE, ABOVE, BELOW, BOTH }

    private static final String CODE39_CHARS = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
    private static final String CODABAR_CHARS = "0123456789-$:/.+";
    private static final int QUIET_MODULES = 10;  // on each side, for scanners to find the code

    private final Symbology symbology;
    private final String text;
    private final byte[] data;
    private final int modules;
    private final int height;
    private final int moduleWidth;  // 0: the widest of 3 and 2 dots that fits the paper
    private final Hri hri;
    private final TextStyle.Font hriFont;

    private Barcode(Symbology symbology, String text, byte[] data, int modules, int height, int moduleWidth, Hri hri,
            TextStyle.Font hriFont) {
        this.symbology = symbology;
        this.text = text;
        this.data = data;
        this.modules = modules;
        this.height = height;
        this.moduleWidth = moduleWidth;
        this.hri = hri;
        this.hriFont = hriFont;
    }

    private static Barcode make(Symbology symbology, String text, String data, int modules) {
        return new Barcode(symbology, text, data.getBytes(StandardCharsets.US_ASCII), modules, 80, 0, Hri.BELOW,
                TextStyle.Font.A);
    }

    /** EAN-13 from 12 digits (check digit added) or 13 (check digit verified). */
    public static Barcode ean13(String digits) {
        return make(Symbology.EAN13, digits, withCheckDigit(Symbology.EAN13, digits, 12), 95);
    }

    /** EAN-8 from 7 digits or 8. */
    public static Barcode ean8(String digits) {
        return make(Symbology.EAN8, digits, withCheckDigit(Symbology.EAN8, digits, 7), 67);
    }

    /** UPC-A from 11 digits or 12. */
    public static Barcode upcA(String digits) {
        return make(Symbology.UPC_A, digits, withCheckDigit(Symbology.UPC_A, digits, 11), 95);
    }

    /**
     * UPC-E from 6 digits (number system 0), 7 (number system 0 or 1 and six
     * digits) or 8 (with the check digit, verified).
     */
    public static Barcode upcE(String digits) {
        digits(Symbology.UPC_E, digits, 6, 8);
        String full = digits.length() == 6 ? "0" + digits : digits;
        if (full.charAt(0) != '0' && full.charAt(0) != '1') {
            throw invalid(Symbology.UPC_E, digits, "number system " + full.charAt(0) + " is not 0 or 1");
        }
        char check = checkDigit(upcEToUpcA(full.substring(0, 7)));
        if (full.length() == 8 && full.charAt(7) != check) {
            throw invalid(Symbology.UPC_E, digits, "check digit " + full.charAt(7) + " should be " + check);
        }
        return make(Symbology.UPC_E, digits, full.substring(0, 7) + check, 51);
    }

    /** CODE39: digits, upper-case letters, space and - . $ / + % (the start and stop * are added). */
    public static Barcode code39(String text) {
        checkLength(Symbology.CODE39, text);
        for (int i = 0; i < text.length(); i++) {
            if (CODE39_CHARS.indexOf(text.charAt(i)) < 0) {
                throw invalid(Symbology.CODE39, text, "'" + text.charAt(i) + "' is not a CODE39 character ("
                        + CODE39_CHARS + ")");
            }
        }
        return make(Symbology.CODE39, text, text, (text.length() + 2) * 16 - 1);
    }

    /** ITF (interleaved 2 of 5): an even number of digits. */
    public static Barcode itf(String digits) {
        digits(Symbology.ITF, digits, 2, 254);
        if (digits.length() % 2 != 0) {
            throw invalid(Symbology.ITF, digits, digits.length() + " digits, ITF takes an even number");
        }
        return make(Symbology.ITF, digits, digits, 9 * digits.length() + 9);
    }

    /** CODABAR: starts and ends with one of A-D, digits and - $ : / . + between. */
    public static Barcode codabar(String text) {
        checkLength(Symbology.CODABAR, text);
        String upper = text.toUpperCase(Locale.ROOT);
        if (upper.length() < 3 || "ABCD".indexOf(upper.charAt(0)) < 0 || "ABCD".indexOf(upper.charAt(upper.length() - 1)) < 0) {
            throw invalid(Symbology.CODABAR, text, "CODABAR starts and ends with one of A-D around its data");
        }
        for (int i = 1; i < upper.length() - 1; i++) {
            if (CODABAR_CHARS.indexOf(upper.charAt(i)) < 0) {
                throw invalid(Symbology.CODABAR, text, "'" + upper.charAt(i) + "' is not a CODABAR character ("
                        + CODABAR_CHARS + ")");
            }
        }
        return make(Symbology.CODABAR, text, upper, 14 * upper.length());
    }

    /** CODE93: any ASCII. */
    public static Barcode code93(String text) {
        checkLength(Symbology.CODE93, text);
        int symbols = 0;
        for (int i = 0; i < text.length(); i++) {
            char c = checkAscii(Symbology.CODE93, text, i);
            symbols += CODE39_CHARS.indexOf(c) >= 0 ? 1 : 2;  // the rest take a shift symbol too
        }
        return make(Symbology.CODE93, text, text, 9 * (symbols + 4) + 1);
    }

    /** CODE128: any ASCII, code sets chosen for the narrowest code. */
    public static Barcode code128(String text) {
        checkLength(Symbology.CODE128, text);
        for (int i = 0; i < text.length(); i++) {
            checkAscii(Symbology.CODE128, text, i);
        }
        Code128.Encoded encoded = Code128.encode(text);
        if (encoded.bytes.length > 255) {
            throw invalid(Symbology.CODE128, text, "needs " + encoded.bytes.length
                    + " bytes of command data, more than 255");
        }
        return new Barcode(Symbology.CODE128, text, encoded.bytes, 11 * (encoded.symbols + 2) + 13, 80, 0, Hri.BELOW,
                TextStyle.Font.A);
    }

    /** Bar height in dots, 1 to 255 (80 unless set). */
    public Barcode height(int dots) {
        if (dots < 1 || dots > 255) {
            throw invalid(symbology, text, "height " + dots + " dots is not between 1 and 255");
        }
        return new Barcode(symbology, text, data, modules, dots, moduleWidth, hri, hriFont);
    }

    /** Narrow bar width in dots, 1 to 6 (unless set: 3, or 2 where 3 is too wide for the paper). */
    public Barcode moduleWidth(int dots) {
        if (dots < 1 || dots > 6) {
            throw invalid(symbology, text, "module width " + dots + " dots is not between 1 and 6");
        }
        return new Barcode(symbology, text, data, modules, height, dots, hri, hriFont);
    }

    /** Where the human-readable text prints (below unless set) and in which font. */
    public Barcode hri(Hri position, TextStyle.Font font) {
        return new Barcode(symbology, text, data, modules, height, moduleWidth, position, font);
    }

    public Barcode hri(Hri position) {
        return hri(position, hriFont);
    }

    public Symbology symbology() {
        return symbology;
    }

    /** The data as given. */
    public String text() {
        return text;
    }

    @Override
    public String toString() {
        return "barcode " + symbology + " \"" + text + "\"";
    }

    /** Writes the code; fails when it is too wide for the paper. */
    void encode(Encoder e, Align align) {
        int width = moduleWidth;
        int needed = modules + 2 * QUIET_MODULES;
        if (width == 0) {
            width = needed * 3 <= e.profile.widthDots() ? 3 : 2;
        }
        if (needed * width > e.profile.widthDots()) {
            throw new Invalid(needed + " modules with quiet zones at " + width + " dots each is "
                    + needed * width + " dots, wider than the paper's " + e.profile.widthDots());
        }
        e.align(align);
        ByteOut out = e.out;
        out.write(0x1D, 'h', height);
        out.write(0x1D, 'w', width);
        out.write(0x1D, 'H', hri.ordinal());
        out.write(0x1D, 'f', hriFont.ordinal());
        out.write(0x1D, 'k', symbology.command);
        out.write(data.length);
        out.write(data);
    }

    private static String withCheckDigit(Symbology symbology, String digits, int length) {
        digits(symbology, digits, length, length + 1);
        char check = checkDigit(digits.substring(0, length));
        if (digits.length() == length + 1 && digits.charAt(length) != check) {
            throw invalid(symbology, digits, "check digit " + digits.charAt(length) + " should be " + check);
        }
        return digits.substring(0, length) + check;
    }

    /** The EAN/UPC check digit: weights 3 and 1 alternating from the rightmost digit. */
    static char checkDigit(String digits) {
        int sum = 0;
        for (int i = 0; i < digits.length(); i++) {
            int weight = (digits.length() - i) % 2 == 1 ? 3 : 1;
            sum += weight * (digits.charAt(i) - '0');
        }
        return (char) ('0' + (10 - sum % 10) % 10);
    }

    /** The UPC-A digits (without check digit) a number system and six UPC-E digits stand for. */
    private static String upcEToUpcA(String seven) {
        String ns = seven.substring(0, 1);
        String d = seven.substring(1);
        char last = d.charAt(5);
        switch (last) {
            case '0':
            case '1':
            case '2':
                return ns + d.substring(0, 2) + last + "0000" + d.substring(2, 5);
            case '3':
                return ns + d.substring(0, 3) + "00000" + d.substring(3, 5);
            case '4':
                return ns + d.substring(0, 4) + "00000" + d.charAt(4);
            default:
                return ns + d.substring(0, 5) + "0000" + last;
        }
    }

    private static void digits(Symbology symbology, String digits, int min, int max) {
        if (digits.length() < min || digits.length() > max) {
            throw invalid(symbology, digits, digits.length() + " digits, " + symbology + " takes "
                    + (min == max - 1 ? min + " or " + max : min + " to " + max));
        }
        for (int i = 0; i < digits.length(); i++) {
            if (digits.charAt(i) < '0' || digits.charAt(i) > '9') {
                throw invalid(symbology, digits, "'" + digits.charAt(i) + "' is not a digit");
            }
        }
    }

    private static void checkLength(Symbology symbology, String text) {
        if (text.isEmpty() || text.length() > 255) {
            throw invalid(symbology, text, text.length() + " characters, " + symbology + " takes 1 to 255");
        }
    }

    private static char checkAscii(Symbology symbology, String text, int i) {
        char c = text.charAt(i);
        if (c > 0x7F) {
            throw invalid(symbology, text, String.format("U+%04X is not ASCII, which %s holds only", (int) c,
                    symbology));
        }
        return c;
    }

    private static ReceiptException invalid(Symbology symbology, String text, String reason) {
        return new ReceiptException("barcode " + symbology + " \"" + text + "\"", reason);
    }
}
