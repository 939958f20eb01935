package net.vellamoor.printerio.receipt;

import java.nio.charset.Charset;

/**
 * A printer's double-byte font: the encoding its multibyte mode reads. The
 * mode is entered with {@code FS &} and left with {@code FS .}; which
 * encoding it reads is fixed by the printer model (its font ROM), so a
 * profile names it.
 */
public enum MultibyteMode {
    GB18030("GB18030", null),
    BIG5("Big5", null),
    /** Japanese models read JIS or Shift_JIS; {@code FS C 1} selects Shift_JIS. */
    SHIFT_JIS("Shift_JIS", new byte[] {0x1C, 'C', 1}),
    /** KS X 1001 in its EUC-KR form: two bytes of 0xA1-0xFE per character. */
    KS_X_1001("EUC-KR", null);

    private final String charsetName;
    private final byte[] select;

    MultibyteMode(String charsetName, byte[] select) {
        this.charsetName = charsetName;
        this.select = select;
    }

    Charset charset() {
        return Charset.forName(charsetName);
    }

    /** The command that picks this encoding on models that read several, sent after each reset; or null. */
    byte[] selectCommand() {
        return select;
    }

    static MultibyteMode parse(String value) {
        for (MultibyteMode mode : values()) {
            if (mode.name().equalsIgnoreCase(value) || mode.charsetName.equalsIgnoreCase(value)) {
                return mode;
            }
        }
        return null;
    }
}
