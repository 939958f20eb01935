package net.vellamoor.printerio;

import java.util.Arrays;

/**
 * Reads what a printer sends back on its data path, byte stream in, answers
 * out: automatic status back blocks (four bytes, the first with bits 0, 1
 * and 7 clear and bit 4 set) and process ID responses ('7' '"', four ID
 * bytes, NUL). Anything else (a real-time status byte, a transmit status
 * answer) is passed over a byte at a time. Not thread-safe.
 */
final class PrinterAnswers {
    private static final int STATUS_BACK_LENGTH = 4;
    private static final int PROCESS_ID_LENGTH = 7;

    private byte[] pending = new byte[0];
    private PrinterStatus lastStatus;  // from the latest status back block; null before one came

    /** Takes count bytes of data; returns whether a process ID response with id came among them. */
    boolean take(byte[] data, int count, byte[] id) {
        byte[] joined = Arrays.copyOf(pending, pending.length + count);
        System.arraycopy(data, 0, joined, pending.length, count);
        boolean confirmed = false;
        int at = 0;
        while (at < joined.length) {
            int b = joined[at] & 0xFF;
            if (b == '7' && (at + 1 == joined.length || joined[at + 1] == '"')) {
                if (joined.length - at < PROCESS_ID_LENGTH) {
                    break;
                }
                confirmed |= joined[at + 6] == 0 && Arrays.equals(Arrays.copyOfRange(joined, at + 2, at + 6), id);
                at += PROCESS_ID_LENGTH;
            } else if ((b & 0x93) == 0x10) {
                if (joined.length - at < STATUS_BACK_LENGTH) {
                    break;
                }
                lastStatus = statusBack(Arrays.copyOfRange(joined, at, at + STATUS_BACK_LENGTH));
                at += STATUS_BACK_LENGTH;
            } else {
                at++;
            }
        }
        pending = Arrays.copyOfRange(joined, at, joined.length);
        return confirmed;
    }

    /** The state the latest automatic status back reported, or null. */
    PrinterStatus lastStatus() {
        return lastStatus;
    }

    // The flags sit as the status query reads them from the network status
    // port, which answers in this layout.
    static PrinterStatus statusBack(byte[] block) {
        byte[] array = new byte[PrinterStatus.ARRAY_LENGTH];
        array[IOPort.STATUS_COVER_OPEN] = flag((block[0] & 0x20) != 0);
        array[IOPort.STATUS_OFFLINE] = flag((block[0] & 0x08) != 0);
        array[IOPort.STATUS_AUTO_CUTTER_ERROR] = flag((block[1] & 0x08) != 0);
        array[IOPort.STATUS_PAPER_END] = flag((block[2] & 0x0C) != 0);
        array[IOPort.STATUS_PAPER_NEAR_END] = flag((block[2] & 0x03) != 0);
        array[IOPort.STATUS_REPLY_COUNT] = (byte) block.length;
        System.arraycopy(block, 0, array, IOPort.STATUS_REPLY_BYTES, block.length);
        return PrinterStatus.fromArray(array);
    }

    private static byte flag(boolean set) {
        return (byte) (set ? 1 : 0);
    }
}
