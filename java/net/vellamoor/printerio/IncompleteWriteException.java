package net.vellamoor.printerio;

/** A write that the printer did not take whole; {@link #bytesWritten()} says how far it got. */
public class IncompleteWriteException extends PrinterException {
    private static final long serialVersionUID = 1L;

    private final int bytesWritten;

    public IncompleteWriteException(String message, int bytesWritten) {
        super(message);
        this.bytesWritten = bytesWritten;
    }

    /** The bytes the printer took, from the start of the job, before the write failed. */
    public int bytesWritten() {
        return bytesWritten;
    }
}
