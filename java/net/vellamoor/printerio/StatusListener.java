package net.vellamoor.printerio;

/**
 * Told when a watched printer's state changes (see {@link Printer#watch}).
 * Called on the watch's own thread, one call at a time, in order.
 */
public interface StatusListener {
    /**
     * The printer's state changed from {@code previous} to {@code current}.
     * Either is null while the printer does not answer: {@code current}
     * null when it stops answering, {@code previous} null when it answers
     * again (and on the first answer of a watch).
     */
    void statusChanged(PrinterStatus previous, PrinterStatus current);
}
