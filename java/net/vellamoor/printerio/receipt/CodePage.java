package net.vellamoor.printerio.receipt;

import java.nio.charset.Charset;

/** One character table of a printer: its {@code ESC t} number and the Java charset that holds it. */
public final class CodePage {
    private final int number;
    private final Charset charset;

    CodePage(int number, Charset charset) {
        this.number = number;
        this.charset = charset;
    }

    /** The {@code n} of {@code ESC t n} that selects this page on the profile's printer. */
    public int number() {
        return number;
    }

    public Charset charset() {
        return charset;
    }

    @Override
    public boolean equals(Object other) {
        return other instanceof CodePage && ((CodePage) other).number == number
                && ((CodePage) other).charset.equals(charset);
    }

    @Override
    public int hashCode() {
        return number * 31 + charset.hashCode();
    }

    @Override
    public String toString() {
        return number + ":" + charset.name();
    }
}
