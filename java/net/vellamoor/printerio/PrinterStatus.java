package net.vellamoor.printerio;

import java.util.Arrays;

/** A printer's state as one status query found it. Immutable. */
public final class PrinterStatus {
    // Positions in the native status array: flags, then the reply count and bytes.
    static final int ARRAY_LENGTH = 9 + 128;
    private static final int COVER_OPEN = 0;
    private static final int OFFLINE = 1;
    private static final int AUTO_CUTTER_ERROR = 2;
    private static final int PAPER_END = 5;
    private static final int PAPER_NEAR_END = 6;
    private static final int REPLY_COUNT = 8;
    private static final int REPLY_BYTES = 9;

    private final boolean coverOpen;
    private final boolean offline;
    private final boolean autoCutterError;
    private final boolean paperEnd;
    private final boolean paperNearEnd;
    private final byte[] reply;

    private PrinterStatus(byte[] array) {
        coverOpen = array[COVER_OPEN] != 0;
        offline = array[OFFLINE] != 0;
        autoCutterError = array[AUTO_CUTTER_ERROR] != 0;
        paperEnd = array[PAPER_END] != 0;
        paperNearEnd = array[PAPER_NEAR_END] != 0;
        int count = Math.min(array[REPLY_COUNT] & 0xFF, array.length - REPLY_BYTES);
        reply = Arrays.copyOfRange(array, REPLY_BYTES, REPLY_BYTES + count);
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
