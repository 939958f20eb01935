package net.vellamoor.printerio;

/**
 * Native port access for receipt printers. The native library implements these
 * methods; this declaration is the source of truth for their signatures (the
 * build generates the C header from it).
 *
 * <p>Port types: 1 USB, 2 serial, 3 network. A port handle is
 * {@code portType * 256 + index}; 0 means the open failed.
 *
 * <p>The class loads its native library when it is first used; see
 * {@link NativeLibraryLoader} for the places it looks and the system property
 * {@code vellamoor.printerio.library} that names a file to load instead.
 */
public final class IOPort {
    public static final int USB = 1;
    public static final int SERIAL = 2;
    public static final int NETWORK = 3;

    // Facts that Printer reads and the native side checks at compile time
    // against the header javac generates from this class: the serial speeds
    // by speed index, and the layout of the status array.
    static final int SPEED_INDEX_1_BPS = 9600;
    static final int SPEED_INDEX_2_BPS = 19200;
    static final int SPEED_INDEX_3_BPS = 38400;
    static final int SPEED_INDEX_4_BPS = 115200;
    static final int STATUS_COVER_OPEN = 0;
    static final int STATUS_OFFLINE = 1;
    static final int STATUS_AUTO_CUTTER_ERROR = 2;
    static final int STATUS_PAPER_END = 5;
    static final int STATUS_PAPER_NEAR_END = 6;
    static final int STATUS_REPLY_COUNT = 8;
    static final int STATUS_REPLY_BYTES = 9;
    static final int STATUS_REPLY_CAPACITY = 128;

    static {
        NativeLibraryLoader.loadOnce();
    }

    private IOPort() {}

    /**
     * Opens a port. {@code parameters}: serial {COM number, speed index 1-4
     * (9600, 19200, 38400, 115200)}; network the four IPv4 octets; USB not
     * read but must not be null. Returns a port handle, or 0.
     */
    public static native int nativeOpenPort(int portType, byte[] parameters, int timeoutMs);

    /** Closes the port the handle names. Always returns 1. */
    public static native int nativeClosePort(int handle);

    /**
     * Writes the first {@code to - from} bytes of {@code data} (starting at
     * element 0) and stores the count written in {@code written[0]}. Returns 1
     * when bytes were sent, else 0.
     */
    public static native int nativeWritePort(int handle, byte[] data, int from, int to, int[] written);

    /** Reserved; reads nothing and returns 0. */
    public static native int nativeReadPort(int handle, int buffer, int offset, int length, int timeoutMs);

    /** Reserved; touches no port and returns 1. */
    public static native int nativeResetDevice(int handle);

    /**
     * Queries the printer's state into {@code status} (at least 9 bytes, 137
     * for every reply byte). Returns 1 when filled, 0 on failure (array
     * unchanged).
     */
    public static native int nativeGetParsedStatus(int handle, byte[] status);
}
