package net.vellamoor.printerio;

import java.util.Arrays;

/** A printer's state as one status query found it. Immutable. */
public final class PrinterStatus {
    static final int ARRAY_LENGTH = IOPort.STATUS_REPLY_BYTES + IOPort.STATUS_REPLY_CAPACITY;

    private final boolean coverOpen;
    private final boolean offline;
    private final boolean autoCutterError;
    private final boolean paperEnd;
    private final boolean paperNearEnd;
    private final byte[] reply;

    private PrinterStatus(byte[] array) {
        coverOpen = array[IOPort.STATUS_COVER_OPEN] != 0;
        offline = array[IOPort.STATUS_OFFLINE] != 0;
        autoCutterError = array[IOPort.STATUS_AUTO_CUTTER_ERROR] != 0;
        paperEnd = array[IOPort.STATUS_PAPER_END] != 0;
        paperNearEnd = array[IOPort.STATUS_PAPER_NEAR_END] != 0;
        int count = Math.min(array[IOPort.STATUS_REPLY_COUNT] & 0xFF, array.length - IOPort.STATUS_REPLY_BYTES);
        reply = Arrays.copyOfRange(array, IOPort.STATUS_REPLY_BYTES, IOPort.STATUS_REPLY_BYTES + count);
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

    /** The printer's reply bytes as received (1 to 128), a copy. */
    public byte[] reply() {
        return reply.clone();
    }

    @Override
    public String toString() {
        StringBuilder words = new StringBuilder(offline ? "offline" : "online");
        if (coverOpen) words.append(", cover open");
        if (autoCutterError) words.append(", auto-cutter error");
        if (paperEnd) words.append(", paper end");
        if (paperNearEnd) words.append(", paper near end");
        if (!paperEnd && !paperNearEnd) words.append(", paper present");
        return words.toString();
    }
}
