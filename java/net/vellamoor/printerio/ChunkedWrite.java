package net.vellamoor.printerio;

import java.util.Arrays;

/**
 * Sends a slice of a job in as many native writes as the printer takes it
 * in: a printer that takes part is offered the rest.
 */
final class ChunkedWrite {
    private ChunkedWrite() {}

    /**
     * Sends {@code length} bytes of {@code data} from {@code offset} on the
     * printer's port, which the caller has entered. Throws an
     * {@link IncompleteWriteException} with the count sent when the printer
     * takes nothing more or is closed between two writes.
     */
    static void send(NativePorts natives, PortTables.Port port, Printer printer, byte[] data, int offset, int length)
            throws PrinterException {
        int done = 0;
        while (done < length) {
            if (!printer.isOpen()) {
                throw new IncompleteWriteException("the " + printer + " was closed after " + done + " of " + length
                        + " bytes", done);
            }
            // The library always sends from element 0, so a slice is copied.
            byte[] rest = offset + done == 0 ? data : Arrays.copyOfRange(data, offset + done, offset + length);
            port.written[0] = 0;
            if (natives.write(port.handle(), rest, 0, length - done, port.written) != 1 || port.written[0] <= 0) {
                throw new IncompleteWriteException("the " + printer + " took " + done + " of " + length + " bytes",
                        done);
            }
            done += port.written[0];
        }
    }
}
