package net.vellamoor.printerio;

import java.io.IOException;
import java.io.InvalidObjectException;
import java.io.ObjectInputStream;
import java.io.Serializable;
import java.util.Arrays;

/**
 * A printer's state as one status query found it. Immutable and
 * serializable, so that the exceptions that carry it are too; two statuses
 * are equal when every flag and the reply bytes are.
 */
public final class PrinterStatus implements Serializable {
    private static final long serialVersionUID = 1L;
    static final int ARRAY_LENGTH = IOPort.STATUS_REPLY_BYTES + IOPort.STATUS_REPLY_CAPACITY;

    private final boolean coverOpen;
    private final boolean offline;
    private final boolean autoCutterError;
    private final boolean paperEnd;
    private final boolean paperNearEnd;
    private final byte[] reply;

    // Bit 2 of the first reply byte, in both reply layouts (the printer
    // status of DLE EOT 1, the first byte of the automatic status back):
    // the drawer kick-out connector's pin 3.
    private static final int DRAWER_BIT = 0x04;

    private PrinterStatus(byte[] array) {
        coverOpen = array[IOPort.STATUS_COVER_OPEN] != 0;
        offline = array[IOPort.STATUS_OFFLINE] != 0;
        autoCutterError = array[IOPort.STATUS_AUTO_CUTTER_ERROR] != 0;
        paperEnd = array[IOPort.STATUS_PAPER_END] != 0;
        paperNearEnd = array[IOPort.STATUS_PAPER_NEAR_END] != 0;
        int count = Math.min(array[IOPort.STATUS_REPLY_COUNT] & 0xFF, array.length - IOPort.STATUS_REPLY_BYTES);
        reply = Arrays.copyOfRange(array, IOPort.STATUS_REPLY_BYTES, IOPort.STATUS_REPLY_BYTES + count);
    }

    private void readObject(ObjectInputStream in) throws IOException, ClassNotFoundException {
        in.defaultReadObject();
        if (reply == null) {
            throw new InvalidObjectException("a printer status without its reply bytes");
        }
    }

    /** Reads a status array that the native query filled. */
    static PrinterStatus fromArray(byte[] array) {
        return new PrinterStatus(array);
    }

    public boolean coverOpen() {
        return coverOpen;
    }

    public boolean offline() {
        return offline;
    }

    public boolean autoCutterError() {
        return autoCutterError;
    }

    public boolean paperEnd() {
        return paperEnd;
    }

    public boolean paperNearEnd() {
        return paperNearEnd;
    }

    /**
     * The drawer kick-out connector's pin 3 signal (bit 2 of the first reply
     * byte); with most drawers it is high while the drawer is open.
     */
    public boolean drawerSignal() {
        return reply.length > 0 && (reply[0] & DRAWER_BIT) != 0;
    }

    /** Online, cover closed, paper present (near end is still ready) and no cutter error. */
    public boolean isReady() {
        return !offline && !coverOpen && !paperEnd && !autoCutterError;
    }

    /** The printer's reply bytes as received (1 to 128), a copy. */
    public byte[] reply() {
        return reply.clone();
    }

    @Override
    public boolean equals(Object other) {
        if (!(other instanceof PrinterStatus)) {
            return false;
        }
        PrinterStatus that = (PrinterStatus) other;
        return coverOpen == that.coverOpen && offline == that.offline && autoCutterError == that.autoCutterError
            && paperEnd == that.paperEnd && paperNearEnd == that.paperNearEnd && Arrays.equals(reply, that.reply);
    }

    @Override
    public int hashCode() {
        int flags = (coverOpen ? 1 : 0) | (offline ? 2 : 0) | (autoCutterError ? 4 : 0) | (paperEnd ? 8 : 0)
            | (paperNearEnd ? 16 : 0);
        return 31 * flags + Arrays.hashCode(reply);
    }

    @Override
    public String toString() {
        StringBuilder words = new StringBuilder(offline ? "offline" : "online");
        if (coverOpen) words.append(", cover open");
        if (autoCutterError) words.append(", auto-cutter error");
        if (paperEnd) words.append(", paper end");
        if (paperNearEnd) words.append(", paper near end");
        if (!paperEnd && !paperNearEnd) words.append(", paper present");
        if (drawerSignal()) words.append(", drawer signal high");
        return words.toString();
    }
}
