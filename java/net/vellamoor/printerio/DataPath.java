package net.vellamoor.printerio;

/**
 * What a printer sends back on its data path: answers to requests inside a
 * job (the process ID response, transmit status) and automatic status back.
 * The native library implements this class's method beside {@link IOPort}'s
 * and takes the same port handles; this declaration is the source of truth
 * for its signature and result codes.
 *
 * <p>Serial printers are read on their port, USB printers on their bulk IN,
 * network printers on their data connection (TCP 9100), where what the
 * library took off the connection while looking for a close comes first.
 */
public final class DataPath {
    /** Nothing came within the time-out. */
    public static final int NOTHING_CAME = 0;
    /** The port is gone (unplugged, switched off, hung up), or the handle names no port. */
    public static final int PORT_GONE = -1;
    /** No array, an empty one, or a negative time-out. */
    public static final int ARGUMENTS_REFUSED = -2;

    static {
        NativeLibraryLoader.loadOnce();
    }

    private DataPath() {}

    /**
     * Takes what the printer sent, at most {@code buffer.length} bytes into
     * {@code buffer} from element 0, waiting at most {@code timeoutMs} for
     * the first byte (0: only what has come). Blocks the calling thread for
     * at most about that long. Returns the count taken (1 or more),
     * {@link #NOTHING_CAME}, {@link #PORT_GONE} or {@link #ARGUMENTS_REFUSED}.
     * Calls on one port must not overlap with each other or with
     * {@link IOPort} calls on it.
     */
    public static native int nativeRead(int handle, byte[] buffer, int timeoutMs);
}
