package net.vellamoor.printerio;

import java.io.IOException;
import java.io.OutputStream;

/**
 * A printer as an {@link OutputStream}: each write is a
 * {@link Printer#write(byte[], int, int)}, its failures an
 * {@link IOException} whose cause is the {@link PrinterException}. Closing
 * the stream leaves the printer open.
 */
final class PrinterOutputStream extends OutputStream {
    private final Printer printer;

    PrinterOutputStream(Printer printer) {
        this.printer = printer;
    }

    @Override
    public void write(int b) throws IOException {
        write(new byte[] {(byte) b}, 0, 1);
    }

    @Override
    public void write(byte[] data, int offset, int length) throws IOException {
        try {
            printer.write(data, offset, length);
        } catch (PrinterException e) {
            throw new IOException(e.getMessage(), e);
        }
    }
}
